// Transition predicates as ST expressions: what the parser accepts (through the tree's dump) and
// refuses (offset and message), nesting and length limits, names and their uses, exclusivity,
// evaluation and renaming.

#include "st/analysis.h"
#include "st/render.h"
#include "st/words.h"
#include "tests/support/evaluate.h"
#include "tests/support/exprdump.h"

#include <QtTest>

#include <iterator>
#include <random>

using namespace trilette;
using namespace std::string_view_literals;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

std::string_view view(const QByteArray &text)
{
    return std::string_view(text.constData(), size_t(text.size()));
}

/// A row name showing every byte: control and non-ASCII bytes as \xNN.
QByteArray rowName(std::string_view text)
{
    QByteArray name;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        name += byte >= 0x20 && byte < 0x7F
            ? QByteArray(1, c)
            : "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
    }
    return name.isEmpty() ? "(empty)" : name;
}

/// The dump of an accepted predicate, "(vide)" for a blank one, "@offset message" for a refusal.
QByteArray parsed(std::string_view text)
{
    const ParseResult result = parseExpression(text);
    if (!result.ok)
        return "@" + QByteArray::number(qulonglong(result.error.offset)) + " "
            + bytes(result.error.message());
    return result.expr.isEmpty() ? QByteArray("(vide)") : bytes(dumpExpr(result.expr));
}

Expr expr(std::string_view text)
{
    ParseResult result = parseExpression(text);
    if (!result.ok)
        qFatal("not parsed: %s", result.error.message().c_str());
    return std::move(result.expr);
}

QByteArray repeated(std::string_view piece, int count)
{
    return bytes(piece).repeated(count);
}

const char *const useNames[] = {"bool", "number", "unknown"};

} // namespace

class TestStExpr : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void longChain();
    void uses_data();
    void uses();
    void exclusive_data();
    void exclusive();
    void evaluation_data();
    void evaluation();
    void rename_data();
    void rename();
    void words_data();
    void words();
    void anyBytes();
};

void TestStExpr::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    const std::string_view cases[][2] = {
        // Each precedence level against its neighbours, and associativity.
        {"a OR b AND c", "or(a, and(b, c))"},
        {"a AND b XOR c OR d", "or(xor(and(a, b), c), d)"},
        {"a & b AND c", "and(and(a, b), c)"},
        {"a AND b = c", "and(a, eq(b, c))"},
        {"a = b <> c", "ne(eq(a, b), c)"},
        {"a = b < c", "eq(a, lt(b, c))"},
        {"a <> b >= c", "ne(a, ge(b, c))"},
        {"a <= b - c > d", "gt(le(a, sub(b, c)), d)"},
        {"a < b + c", "lt(a, add(b, c))"},
        {"a - b - c", "sub(sub(a, b), c)"},
        {"a + b * c", "add(a, mul(b, c))"},
        {"a / b MOD c * d", "mul(mod(div(a, b), c), d)"},
        {"a * b ** c", "mul(a, pow(b, c))"},
        {"a ** b ** c", "pow(pow(a, b), c)"},
        {"-a ** 2", "pow(neg(a), 2)"},
        {"a ** -b", "pow(a, neg(b))"},
        {"NOT a AND b", "and(not(a), b)"},
        {"NOT a = b", "eq(not(a), b)"},
        {"- -a + +b", "add(neg(neg(a)), plus(b))"},
        {"(a OR b) AND c", "and((or(a, b)), c)"},
        // The output of a function block instance.
        {"tempo0_0.Q AND NOT b", "and(tempo0_0.Q, not(b))"},
        // Keywords read as names, for the writers to rename.
        {"Exit", "Exit"},
        {"a AND then", "and(a, then)"},
        {"INT(a) > 0", "gt(call INT(a), 0)"},
        // Literals, addresses and calls.
        {"16#FF + 2#1010 + 8#17 + 1_000", "add(add(add(16#FF, 2#1010), 8#17), 1_000)"},
        {"1.5E3 < 2.0e-3 + 0.5 + 1.2E+3 + 16#_f_F",
         "lt(1.5E3, add(add(add(2.0e-3, 0.5), 1.2E+3), 16#_f_F))"},
        {"TIME#1h2m3s <= t#250ms", "le(TIME#1h2m3s, t#250ms)"},
        {"T#1.5s = LTIME#-1d_2h", "eq(T#1.5s, LTIME#-1d_2h)"},
        {"T#1m30s500ms500us > LT#2ns", "gt(T#1m30s500ms500us, LT#2ns)"},
        {"INT#5 + DINT#-3 + WORD#16#FF", "add(add(INT#5, DINT#-3), WORD#16#FF)"},
        {"BOOL#1 OR bool#False", "or(BOOL#1, bool#False)"},
        {"REAL#1.5 > LREAL#-2.5E1 + REAL#7", "gt(REAL#1.5, add(LREAL#-2.5E1, REAL#7))"},
        {"F (a + 1, G(b), (c), H( ))", "call F(add(a, 1), call G(b), (c), call H())"},
        {"%IX0.1 AND NOT %QX1.0 OR %MW10 > %ML3 OR %i2",
         "or(or(and(%IX0.1, not(%QX1.0)), gt(%MW10, %ML3)), %i2)"},
        // Case, blanks, names.
        {"a and Not b oR TRUE xor false", "or(and(a, not(b)), xor(TRUE, false))"},
        {"\ta\r\n&\tb ", "and(a, b)"},
        {"_x1 AND x_y_2 AND T AND D AND LT", "and(and(and(and(_x1, x_y_2), T), D), LT)"},
        {"", "(vide)"},
        {" \t\r\n ", "(vide)"},
        // Refusals: the offset of the offending token, and the message.
        {"stop writing", "@5 fin du prédicat attendue, « writing » trouvé"},
        {"a) THEN X := 1; END_IF; IF (b", "@1 fin du prédicat attendue, « ) » trouvée"},
        {"a AND", "@5 opérande attendu, fin du prédicat trouvée"},
        {"(a", "@2 « ) » attendue, fin du prédicat trouvée"},
        {"(a b)", "@3 « ) » attendue, « b » trouvé"},
        {"()", "@1 opérande attendu, « ) » trouvée"},
        {"X := 1", "@2 fin du prédicat attendue, « := » trouvé"},
        {"'txt'", "@0 opérande attendu, « ' » trouvé"},
        {"(* c *)", "@0 opérande attendu, début de commentaire « (* » trouvé"},
        {"a // c", "@2 fin du prédicat attendue, début de commentaire « // » trouvé"},
        {"a THEN b", "@2 fin du prédicat attendue, « THEN » trouvé"},
        {"a..b", "@2 nom de la sortie du bloc attendu, « . » trouvé"},
        {"a.1", "@2 nom de la sortie du bloc attendu, « 1 » trouvé"},
        {"a[1]", "@1 fin du prédicat attendue, « [ » trouvé"},
        {"a = = b", "@4 opérande attendu, « = » trouvé"},
        {"TRUE(a)", "@4 fin du prédicat attendue, « ( » trouvée"},
        {"F(a,)", "@4 opérande attendu, « ) » trouvée"},
        {"F(a b)", "@4 « , » ou « ) » attendue, « b » trouvé"},
        {"F(IN := x)", "@5 « , » ou « ) » attendue, « := » trouvé"},
        {"a\0b"sv, "@1 fin du prédicat attendue, caractère nul trouvé"},
        {"a\vb", "@1 fin du prédicat attendue, octet 0x0B trouvé"},
        {"arrêt", "@3 fin du prédicat attendue, « ê » trouvé"},
        {"\xC3", "@0 opérande attendu, octet 0xC3 trouvé"},
        {"\xED\xA0\x80", "@0 opérande attendu, octet 0xED trouvé"},
        {"a cccccccccccccccccccccccccccccccccccccccccccccccccc",
         "@2 fin du prédicat attendue, « cccccccccccccccccccccccccccccccccccccccc… » trouvé"},
        {"16#", "@0 constante « 16# » mal formée"},
        {"3#12", "@0 constante « 3#12 » mal formée"},
        {"8#8", "@0 constante « 8#8 » mal formée"},
        {"1_", "@0 constante « 1_ » mal formée"},
        {"1__0", "@0 constante « 1__0 » mal formée"},
        {"1e5", "@0 constante « 1e5 » mal formée"},
        {"1.", "@0 constante « 1. » mal formée"},
        {"1.5E+", "@0 constante « 1.5E » mal formée"},
        {"12abc", "@0 constante « 12abc » mal formée"},
        {"T#", "@0 constante « T# » mal formée"},
        {"T#5", "@0 constante « T#5 » mal formée"},
        {"T#5x", "@0 constante « T#5x » mal formée"},
        {"T#1s2h", "@0 constante « T#1s2h » mal formée"},
        {"T#1.5h30m", "@0 constante « T#1.5h30m » mal formée"},
        {"T#1h_", "@0 constante « T#1h_ » mal formée"},
        {"INT#1.5", "@0 constante « INT#1.5 » mal formée"},
        {"UINT#-1", "@0 constante « UINT#-1 » mal formée"},
        {"BOOL#2", "@0 constante « BOOL#2 » mal formée"},
        {"DATE#2024-01-01", "@0 constante « DATE#2024 » mal formée"},
        {"x# < 1", "@0 constante « x# » mal formée"},
        {"%IZ1", "@0 adresse « %IZ1 » mal formée"},
        {"%QX1.", "@0 adresse « %QX1. » mal formée"},
        {"%MW", "@0 adresse « %MW » mal formée"},
    };
    for (const auto &c : cases)
        QTest::newRow(rowName(c[0])) << bytes(c[0]) << bytes(c[1]);
    // Nesting: 256 levels and no more, however the levels are made.
    const QByteArray tooDeep = " expression trop imbriquée (plus de 256 niveaux)";
    QTest::newRow("256 parentheses") << repeated("(", 256) + "a" + repeated(")", 256)
                                     << repeated("(", 256) + "a" + repeated(")", 256);
    QTest::newRow("257 parentheses")
        << repeated("(", 257) + "a" + repeated(")", 257) << "@256" + tooDeep;
    QTest::newRow("100,000 parentheses") << repeated("(", 100000) << "@256" + tooDeep;
    QTest::newRow("256 NOT") << repeated("NOT ", 256) + "a"
                             << repeated("not(", 256) + "a" + repeated(")", 256);
    QTest::newRow("100,000 NOT") << repeated("NOT ", 100000) << "@1024" + tooDeep;
    QTest::newRow("100,000 minus") << repeated("-", 100000) + "1"
                                   << "@256" + tooDeep;
    QTest::newRow("100,000 calls") << repeated("F(", 100000) << "@513" + tooDeep;
    QTest::newRow("mixed") << repeated("-(NOT F(", 100) << "@512" + tooDeep;
}

void TestStExpr::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(parsed(view(text)), expected);
}

void TestStExpr::longChain()
{
    // 100,000 operands in one left-leaning chain: parsed, dumped, walked and released without
    // recursion.
    const QByteArray text = "a" + repeated(" AND a", 99999);
    const Expr chain = expr(view(text));
    QCOMPARE(chain.nodes().size(), size_t(199999));
    QCOMPARE(bytes(dumpExpr(chain)), repeated("and(", 99999) + "a" + repeated(", a)", 99999));
    QCOMPARE(bytes(renderExpr(chain, nullptr)), text);
    QCOMPARE(nameUses(chain).size(), size_t(100000));
    const EvalResult result
        = evaluate(chain, [](std::string_view) { return Value::boolean(true); });
    QCOMPARE(result.status, EvalResult::Ok);
    QCOMPARE(result.value, Value::boolean(true));
    QVERIFY(provablyExclusive(chain, expr("NOT a")));
    QVERIFY(!provablyExclusive(chain, chain));

    const Expr sum = expr(view("n" + repeated(" - n ** 2", 99999)));
    const EvalResult difference = evaluate(sum, [](std::string_view) { return Value::dint(3); });
    QCOMPARE(difference.value, Value::dint(3 - 9 * 99999));
}

void TestStExpr::uses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("uses");
    QTest::addColumn<QByteArray>("conflicts");
    const std::string_view cases[][3] = {
        {"(a) XOR (((b)))", "a@1 bool, b@11 bool", ""},
        {"n > 3 AND m + 1 = k", "n@0 number, m@10 number, k@18 number", ""},
        {"x MOD 3 = 0 OR -y < z ** w", "x@0 number, y@16 number, z@20 number, w@25 number", ""},
        {"x = TRUE AND FALSE <> y", "x@0 bool, y@22 bool", ""},
        {"x <> (y AND z)", "x@0 bool, y@6 bool, z@12 bool", ""},
        {"x = -y", "x@0 number, y@5 number", ""},
        {"x = y", "x@0 number, y@4 number", ""},
        {"a = b = c", "a@0 number, b@4 number, c@8 bool", ""},
        {"a = (b = c)", "a@0 bool, b@5 number, c@9 number", ""},
        {"w = %IX0.1 AND v = %I1 AND u = %MW3", "w@0 bool, v@15 bool, u@27 number", ""},
        {"w = BOOL#1 AND v = T#5s", "w@0 bool, v@15 number", ""},
        {"F(a, b + 1, (c)) AND d", "a@2 unknown, b@5 number, c@13 unknown, d@21 bool", ""},
        {"a AND a > 1", "a@0 bool, a@6 number", "a@0/a@6"},
        {"Run OR run * 2 > 0 OR F(RUN) OR RUN",
         "Run@0 bool, run@7 number, RUN@24 unknown, RUN@32 bool", "Run@0/run@7"},
        {"b > 0 AND a AND NOT B AND a", "b@0 number, a@10 bool, B@20 bool, a@26 bool", "B@20/b@0"},
    };
    for (const auto &c : cases)
        QTest::newRow(c[0].data()) << bytes(c[0]) << bytes(c[1]) << bytes(c[2]);
}

void TestStExpr::uses()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, uses);
    QFETCH(QByteArray, conflicts);
    const Expr e = expr(view(text));
    const std::vector<NameRef> found = nameUses(e);
    QByteArrayList seen, clashes;
    for (const NameRef &ref : found)
        seen << bytes(ref.spelling) + "@" + QByteArray::number(ref.offset) + " "
                + useNames[int(ref.use)];
    for (const NameConflict &c : useConflicts(found))
        clashes << bytes(c.asBool.spelling) + "@" + QByteArray::number(c.asBool.offset) + "/"
                + bytes(c.asNumber.spelling) + "@" + QByteArray::number(c.asNumber.offset);
    QCOMPARE(seen.join(", "), uses);
    QCOMPARE(clashes.join(", "), conflicts);
}

void TestStExpr::exclusive_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("exclusive");
    const std::pair<std::string_view, std::string_view> exclusive[] = {
        {"x", "NOT x"},
        {"X AND y", "NOT (x)"},
        {"a AND (b AND NOT c)", "d & c"},
        {"NOT NOT x", "NOT x"},
        {"a = 1", "a = 2"},
        {"a < 5", "a >= 5"},
        {"n > 3", "n <= 3"},
        {"5 > a", "a >= 5"},
        {"a <> 1", "A = 1"},
        {"a = -1", "a = 1"},
        {"a = -2147483648", "a >= 0"},
        {"a = b", "a <> b"},
        {"a < b", "b <= a"},
        {"a < b", "a > b"},
        {"a <= b", "NOT (a <= b) AND c"},
        {"(n + 1) * 2 = 4", "(n+1)*2 = 6"},
        {"a = TRUE", "a = FALSE"},
        {"x = 16#10", "NOT (x = 16)"},
        {"FALSE", "x"},
        {"x AND NOT (TRUE)", "y"},
        {"a = 1 AND a = 2", "b"},
        {"a = 5", "a > 5"},
        {"a = 5", "a <= 4"},
        {"a = b", "b > a"},
        {"a <> b", "b = a"},
        {"3 <> a", "a = 3"},
        {"a = 0", "a > -0"},
    };
    const std::pair<std::string_view, std::string_view> notExclusive[] = {
        {"x", "y"},
        {"x", "x"},
        {"", "FALSE"},
        {"", "x"},
        {"a < 5", "a > 4"},
        {"a <= 5", "a >= 5"},
        {"a = 1", "b = 2"},
        {"a <> 1", "a <> 2"},
        {"a <> 1", "a < 1"},
        {"x OR y", "NOT x"},
        {"NOT x OR y", "x"},
        {"F(a) = 1", "F(a) = 2"},
        {"F()", "NOT F()"},
        {"a = 16#FFFFFFFF", "a = -1"},
        {"a < 16#FFFFFFFF", "a > 0"},
        {"a = 1", "a + 1 = 2"},
        {"a = b", "NOT (a = c)"},
        {"a <= b", "b <= a"},
        {"a = 5", "a > 4"},
        {"a = 5", "a <= 5"},
        {"a = b", "a <= b"},
        {"a <> 3", "a <> 3"},
        {"a <> 3", "a = 4"},
        {"a <> b", "a < b"},
        {"a < b", "a <= b"},
        {"a = 2147483648", "a = -2147483648"},
    };
    for (const auto &pair : exclusive)
        QTest::newRow(bytes(pair.first) + " / " + bytes(pair.second))
            << bytes(pair.first) << bytes(pair.second) << true;
    for (const auto &pair : notExclusive)
        QTest::newRow(bytes(pair.first) + " / " + bytes(pair.second))
            << bytes(pair.first) << bytes(pair.second) << false;
}

void TestStExpr::exclusive()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, exclusive);
    const Expr first = expr(view(a)), second = expr(view(b));
    QCOMPARE(provablyExclusive(first, second), exclusive);
    QCOMPARE(provablyExclusive(second, first), exclusive);
}

void TestStExpr::evaluation_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QByteArray>("expected");
    const std::string_view cases[][3] = {
        {"", "", "TRUE"},
        {"a AND NOT b", "a=TRUE b=FALSE", "TRUE"},
        {"(a OR b) AND c = 3", "a=FALSE b=TRUE c=3", "TRUE"},
        {"a = b", "a=TRUE b=FALSE", "FALSE"},
        {"n MOD 3", "n=-5", "-2"},
        {"-7 / 2", "", "-3"},
        {"1_000 + 8#17 + 2#1010 - 16#a", "", "1015"},
        {"2147483647 + 1", "", "-2147483648"},
        {"-2147483648 / -1", "", "-2147483648"},
        {"-2147483648 MOD -1", "", "0"},
        {"16#FFFFFFFF", "", "-1"},
        {"2 ** 10", "", "1024"},
        {"3 ** 40", "", "689956897"},
        {"2 ** -1", "", "0"},
        {"(-1 ** -2) * 10 + (-1 ** -3)", "", "9"},
        {"NOT 5", "", "-6"},
        {"(6 AND 3) + (6 OR 3) * 10 + (6 XOR 3) * 100", "", "572"},
        {"2147483648", "", "failed@0 constante « 2147483648 » hors des limites d'un DINT"},
        {"a / (b - 5)", "a=1 b=5", "failed@2 division par zéro"},
        {"0 ** -1", "", "failed@2 zéro élevé à une puissance négative"},
        {"a + 1", "a=TRUE", "failed@2 « + » appliqué à un BOOL"},
        {"1 = a", "a=TRUE", "failed@2 « = » entre un DINT et un BOOL"},
        {"x OR y", "y=TRUE", "failed@0 variable « x » sans valeur"},
        {"t > T#5s", "t=1", "unsupported@4 constante « T#5s » non évaluable"},
        {"ABS(n) > 2", "n=1", "unsupported@0 appel de « ABS » non évaluable"},
    };
    for (const auto &c : cases)
        QTest::newRow(rowName(c[0])) << bytes(c[0]) << bytes(c[1]) << bytes(c[2]);
}

void TestStExpr::evaluation()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, values);
    QFETCH(QByteArray, expected);
    QHash<QByteArray, Value> known;
    for (const QByteArray &pair : values.split(' ')) {
        const QByteArrayList parts = pair.split('=');
        if (parts.size() == 2)
            known[parts[0]] = parts[1] == "TRUE" || parts[1] == "FALSE"
                ? Value::boolean(parts[1] == "TRUE")
                : Value::dint(parts[1].toInt());
    }
    const EvalResult result = evaluate(expr(view(text)), [&](std::string_view name) {
        const auto found = known.constFind(bytes(name));
        return found == known.constEnd() ? std::nullopt : std::optional<Value>(*found);
    });
    QByteArray seen;
    if (result.status == EvalResult::Ok)
        seen = result.value.isBool ? QByteArray(result.value.number ? "TRUE" : "FALSE")
                                   : QByteArray::number(result.value.number);
    else
        seen = (result.status == EvalResult::Failed ? "failed@" : "unsupported@")
            + QByteArray::number(result.offset) + " " + bytes(result.message);
    QCOMPARE(seen, expected);
}

void TestStExpr::rename_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("renames");
    QTest::addColumn<QByteArray>("expected");
    const std::string_view cases[][3] = {
        {" (a  OR\tb)AND NOT%IX0.1 <>T#5s\r\n", "", " (a  OR\tb)AND NOT%IX0.1 <>T#5s\r\n"},
        {"a AND A OR F(a, G(a)) OR a_b", "a=P1p", "P1p AND A OR F(P1p, G(P1p)) OR a_b"},
        {"F(F) AND F OR G ( F )", "F=X G=Y", "F(X) AND X OR G ( X )"},
        {"x1+x22*x1 = x1", "x1=Valeur x22=y", "Valeur+y*Valeur = Valeur"},
        {"T AND T#5s > t", "T=tempo t=u", "tempo AND T#5s > u"},
    };
    for (const auto &c : cases)
        QTest::newRow(rowName(c[0])) << bytes(c[0]) << bytes(c[1]) << bytes(c[2]);
}

void TestStExpr::rename()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, renames);
    QFETCH(QByteArray, expected);
    QHash<QByteArray, std::string> names;
    for (const QByteArray &pair : renames.split(' ')) {
        const QByteArrayList parts = pair.split('=');
        if (parts.size() == 2)
            names[parts[0]] = parts[1].toStdString();
    }
    const std::string out = renderExpr(expr(view(text)), [&](std::string_view name) {
        const auto found = names.constFind(bytes(name));
        return found == names.constEnd() ? std::nullopt : std::optional<std::string>(*found);
    });
    QCOMPARE(bytes(out), expected);
}

void TestStExpr::words_data()
{
    // A word: whether it is a keyword, whether it is reserved, whether it stands as an ST
    // identifier, and the identifier made of it.
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<QByteArray>("expected");
    const std::string_view cases[][2] = {
        {"Exit", "keyword reserved identifier Exit"},
        {"ton", "- reserved identifier ton"},
        {"int_to_Real", "- reserved identifier int_to_Real"},
        {"REAL_TRUNC_INT", "- reserved identifier REAL_TRUNC_INT"},
        {"trunc_dint", "- reserved identifier trunc_dint"},
        {"INT_TO_FOO", "- - identifier INT_TO_FOO"},
        {"_a1", "- - identifier a1"},
        {"a_", "- - - a"},
        {"a__b", "- - - a_b"},
        {"1st place", "- - - P_1st_place"},
        {" a*)b(*c ", "- - - a_b_c"},
        {"été", "- - - t"},
        {"", "- - - P"},
    };
    for (const auto &c : cases)
        QTest::newRow(rowName(c[0])) << bytes(c[0]) << bytes(c[1]);
}

void TestStExpr::words()
{
    QFETCH(QByteArray, word);
    QFETCH(QByteArray, expected);
    const std::string_view w = view(word);
    const QByteArray seen = QByteArray(isKeyword(w) ? "keyword " : "- ")
        + (isReservedWord(w) ? "reserved " : "- ") + (isStIdentifier(w) ? "identifier " : "- ")
        + bytes(makeIdentifier(w, "P"));
    QCOMPARE(seen, expected);
}

void TestStExpr::anyBytes()
{
    // Random texts, half made of grammar pieces and half of raw bytes: each is accepted or
    // refused at an offset inside it, and an accepted one goes through every walk and renders
    // back unchanged.
    const std::string_view pieces[]
        = {"a", "B1", "F",    "(",    ")",    ",",   " AND ",  "NOT ", "-",   "**", "=",  "<>",
           "<", "1",  "0",    "16#F", "T#5s", "1.5", "%IX0.1", "TRUE", "MOD", "/",  " ",  "\t",
           "'", ";",  "\0"sv, "\xC3", "é",    "#",   "_",      "OR",   "xor", "&",  "IF", "+"};
    std::mt19937 random(20240601);
    const auto lookup = [](std::string_view name) {
        return name.size() == 1 ? std::optional<Value>(Value::dint(int32_t(name[0])))
                                : std::nullopt;
    };
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = int(random() % 24);
        for (int i = 0; i < length; ++i) {
            if (round % 2)
                text += char(random() % 256);
            else
                text += pieces[random() % std::size(pieces)];
        }
        const ParseResult result = parseExpression(text);
        if (!result.ok) {
            QVERIFY2(result.error.offset <= text.size(), rowName(text).constData());
            QVERIFY(!result.error.message().empty());
            continue;
        }
        ++accepted;
        QCOMPARE(bytes(renderExpr(result.expr, nullptr)), bytes(text));
        dumpExpr(result.expr);
        useConflicts(nameUses(result.expr));
        provablyExclusive(result.expr, result.expr);
        evaluate(result.expr, lookup);
    }
    QVERIFY(accepted > 1000);
}

QTEST_APPLESS_MAIN(TestStExpr)
#include "tst_stexpr.moc"
