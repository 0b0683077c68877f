// Transition predicates as ST expressions: the tree the parser builds (through a one-line dump)
// or its refusal (offset and message), nesting limits, names and their uses, exclusivity,
// renaming and the words of ST.

#include "st/analysis.h"
#include "st/render.h"
#include "st/words.h"

#include <QtTest>

using namespace trilette;
using namespace std::string_view_literals;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), int(text.size()));
}

/// A tree as one line: operators by name with their operands, parentheses kept, calls as
/// "call F(a, b)", leaves as written.
std::string dump(const Expr &expr, uint32_t index)
{
    static const char *const names[]
        = {"or",  "xor", "and", "eq",  "ne",  "lt",  "gt",  "le",  "ge",
           "add", "sub", "mul", "div", "mod", "pow", "not", "neg", "plus"};
    const ExprNode &node = expr.node(index);
    if (isLeaf(node.kind))
        return std::string(expr.text(node));
    std::string out = node.kind == ExprKind::Call ? "call " + std::string(expr.prefix(node))
        : node.kind == ExprKind::Paren            ? ""
                                                  : names[int(node.kind)];
    for (uint32_t k = 0; k < node.childCount; ++k)
        out += (k ? ", " : "(") + dump(expr, expr.child(node, k));
    return out + (node.childCount ? ")" : "()");
}

/// The dump of an accepted predicate, "(vide)" for a blank one, "@offset message" for a refusal.
QByteArray parsed(std::string_view text)
{
    const ParseResult result = parseExpression(text);
    if (!result.ok)
        return "@" + QByteArray::number(qulonglong(result.error.offset)) + " "
            + bytes(result.error.message());
    return result.expr.isEmpty() ? QByteArray("(vide)")
                                 : bytes(dump(result.expr, result.expr.root()));
}

Expr expr(std::string_view text)
{
    ParseResult result = parseExpression(text);
    if (!result.ok)
        qFatal("not parsed: %s", result.error.message().c_str());
    return std::move(result.expr);
}

} // namespace

// The input in front of both sides, so that a failure names its row.
#define COMPARE_ROW(input, actual, expected)                                                       \
    QCOMPARE(bytes(input) + " => " + (actual), bytes(input) + " => " + (expected))

class TestStExpr : public QObject
{
    Q_OBJECT

private slots:
    void parse()
    {
        const std::string_view cases[][2] = {
            // Every precedence level against its neighbours, up and down, and associativity.
            {"a OR b XOR c AND d = e <= f - g * h ** i",
             "or(a, xor(b, and(c, eq(d, le(e, sub(f, mul(g, pow(h, i))))))))"},
            {"a ** b * c - d <= e = f AND g XOR h OR i",
             "or(xor(and(eq(le(sub(mul(pow(a, b), c), d), e), f), g), h), i)"},
            {"a - b + c = d <> e", "ne(eq(add(sub(a, b), c), d), e)"},
            {"a / b MOD c * d ** e ** f", "mul(mod(div(a, b), c), pow(pow(d, e), f))"},
            {"a <= b > c OR d & e AND f", "or(gt(le(a, b), c), and(and(d, e), f))"},
            {"NOT a = -b ** 2 AND NOT NOT c", "and(eq(not(a), pow(neg(b), 2)), not(not(c)))"},
            {"a ** -b + - -c + +d", "add(add(pow(a, neg(b)), neg(neg(c))), plus(d))"},
            {"(a OR b) AND c", "and((or(a, b)), c)"},
            // Keywords read as names, for the writers to rename; the output of a function block
            // instance; literals, addresses and calls; case and blanks.
            {"Exit AND then AND tempo0_0.Q AND INT(a) > 0",
             "and(and(and(Exit, then), tempo0_0.Q), gt(call INT(a), 0))"},
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
            {"1.5E+", "@0 constante « 1.5E » mal formée"},
            {"DATE#2024-01-01", "@0 constante « DATE#2024 » mal formée"},
        };
        for (const auto &c : cases)
            COMPARE_ROW(c[0], parsed(c[0]), bytes(c[1]));
        for (const char *c :
             {"16#",     "3#12",    "8#8",    "1_",   "1__0",   "1e5",       "1.",
              "12abc",   "T#",      "T#5",    "T#5x", "T#1s2h", "T#1.5h30m", "T#1h_",
              "INT#1.5", "UINT#-1", "BOOL#2", "x#",   "%IZ1",   "%QX1.",     "%MW"})
            COMPARE_ROW(c, parsed(c),
                        (*c == '%' ? "@0 adresse « " : "@0 constante « ") + QByteArray(c)
                            + " » mal formée");
        // Nesting: 256 levels and no more, however the levels are made.
        const auto times = [](const char *piece, int n) { return QByteArray(piece).repeated(n); };
        const QByteArray deep = times("(", 256) + "a" + times(")", 256);
        const QByteArray tooDeep = " expression trop imbriquée (plus de 256 niveaux)";
        const QByteArray nested[][2] = {
            {deep, deep},
            {"(" + deep + ")", "@256" + tooDeep},
            {times("(", 100000), "@256" + tooDeep},
            {times("NOT ", 256) + "a", times("not(", 256) + "a" + times(")", 256)},
            {times("NOT ", 100000), "@1024" + tooDeep},
            {times("-", 100000) + "1", "@256" + tooDeep},
            {times("F(", 100000), "@513" + tooDeep},
            {times("-(NOT F(", 100), "@512" + tooDeep},
        };
        for (const auto &c : nested)
            QCOMPARE(parsed(std::string_view(c[0].constData(), size_t(c[0].size()))), c[1]);
        // 100,000 operands in one chain: parsed, walked and released without recursion.
        const std::string text = "a" + QByteArray(" AND a").repeated(99999).toStdString();
        const Expr chain = expr(text);
        QCOMPARE(chain.nodes().size(), size_t(199999));
        QCOMPARE(renderExpr(chain, nullptr), text);
        QCOMPARE(nameUses(chain).size(), size_t(100000));
        QVERIFY(provablyExclusive(chain, expr("NOT a")));
        QVERIFY(!provablyExclusive(chain, chain));
    }

    void uses()
    {
        // Each name read, at its offset, as a Boolean, a number or unknown; then the names read
        // both ways, case aside.
        const std::string_view cases[][3] = {
            {"(a) XOR (((b))) XOR x <> (y AND z)",
             "a@1 bool, b@11 bool, x@20 bool, y@26 bool, z@32 bool", ""},
            {"n > 3 AND m + 1 = k OR x MOD 3 = 0 OR -y < z ** w",
             "n@0 number, m@10 number, k@18 number, x@23 number, y@39 number, z@43 number, "
             "w@48 number",
             ""},
            {"x = TRUE AND FALSE <> y AND u = -v AND s = t",
             "x@0 bool, y@22 bool, u@28 number, v@33 number, s@39 number, t@43 number", ""},
            {"a = b = c", "a@0 number, b@4 number, c@8 bool", ""},
            {"a = (b = c)", "a@0 bool, b@5 number, c@9 number", ""},
            {"w = %IX0.1 AND v = %I1 AND u = %MW3 AND r = BOOL#1 AND q = T#5s",
             "w@0 bool, v@15 bool, u@27 number, r@40 bool, q@55 number", ""},
            {"F(a, b + 1, (c)) AND d", "a@2 unknown, b@5 number, c@13 unknown, d@21 bool", ""},
            {"a AND a > 1", "a@0 bool, a@6 number", "a@0/a@6"},
            {"Run OR run * 2 > 0 OR F(RUN) OR RUN",
             "Run@0 bool, run@7 number, RUN@24 unknown, RUN@32 bool", "Run@0/run@7"},
            {"b > 0 AND a AND NOT B AND a", "b@0 number, a@10 bool, B@20 bool, a@26 bool",
             "B@20/b@0"},
        };
        const char *const useNames[] = {"bool", "number", "unknown"};
        auto at = [](const NameRef &ref) {
            return bytes(ref.spelling) + "@" + QByteArray::number(ref.offset);
        };
        for (const auto &c : cases) {
            const Expr e = expr(c[0]);
            const std::vector<NameRef> found = nameUses(e);
            QByteArrayList seen, clashes;
            for (const NameRef &ref : found)
                seen << at(ref) + " " + useNames[int(ref.use)];
            for (const NameConflict &conflict : useConflicts(found))
                clashes << at(conflict.asBool) + "/" + at(conflict.asNumber);
            COMPARE_ROW(c[0], seen.join(", ") + " | " + clashes.join(", "),
                        bytes(c[1]) + " | " + bytes(c[2]));
        }
    }

    void exclusive()
    {
        // Pairs of predicates that never hold together, then pairs that may, both ways round.
        const std::string_view cases[][2] = {
            {"x", "NOT x"},
            {"X AND y", "NOT (x)"},
            {"a AND (b AND NOT c)", "d & c"},
            {"a = 1", "a = 2"},
            {"a < 5", "a >= 5"},
            {"5 > a", "a >= 5"},
            {"a <> 1", "A = 1"},
            {"a = -2147483648", "a >= 0"},
            {"a = b", "a <> b"},
            {"a < b", "b <= a"},
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
            {"", ""},
            {"x", "y"},
            {"x", "x"},
            {"", "FALSE"},
            {"a < 5", "a > 4"},
            {"a <= 5", "a >= 5"},
            {"a = 1", "b = 2"},
            {"a <> 1", "a <> 2"},
            {"a <> 1", "a < 1"},
            {"x OR y", "NOT x"},
            {"F(a) = 1", "F(a) = 2"},
            {"a = 16#FFFFFFFF", "a = -1"},
            {"a = 1", "a + 1 = 2"},
            {"a = b", "NOT (a = c)"},
            {"a <= b", "b <= a"},
            {"a = 5", "a > 4"},
            {"a = 5", "a <= 5"},
            {"a = b", "a <= b"},
            {"a <> 3", "a <> 3"},
            {"a <> 3", "a = 4"},
            {"a <> b", "a < b"},
            {"a = 2147483648", "a = -2147483648"},
        };
        bool exclusive = true;
        for (const auto &c : cases) {
            if (c[0].empty() && c[1].empty()) {
                exclusive = false;
                continue;
            }
            const Expr a = expr(c[0]), b = expr(c[1]);
            COMPARE_ROW(std::string(c[0]) + " / " + std::string(c[1]),
                        QByteArray::number(provablyExclusive(a, b) + 2 * provablyExclusive(b, a)),
                        QByteArray(exclusive ? "3" : "0"));
        }
    }

    void rename()
    {
        // Only the names renamed change; every other byte stays.
        const std::string_view cases[][3] = {
            {"a AND A OR F(a, G(a)) OR a_b", "a", "P1p AND A OR F(P1p, G(P1p)) OR a_b"},
            {"F(F) AND F OR G ( F )", "F", "F(P1p) AND P1p OR G ( P1p )"},
            {" (x1  OR\tb)AND NOT%IX0.1 <>T#5s\r\n", "x1", " (P1p  OR\tb)AND NOT%IX0.1 <>T#5s\r\n"},
            {"T AND T#5s > t", "T", "P1p AND T#5s > t"},
        };
        for (const auto &c : cases) {
            const std::string out = renderExpr(expr(c[0]), [&](std::string_view name) {
                return name == c[1] ? std::optional<std::string>("P1p") : std::nullopt;
            });
            COMPARE_ROW(c[0], bytes(out), bytes(c[2]));
        }
    }

    void words()
    {
        // Whether a word is a keyword, is reserved, stands as an ST identifier; the identifier
        // made of it.
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
        for (const auto &[w, expected] : cases)
            COMPARE_ROW(w,
                        QByteArray(isKeyword(w) ? "keyword " : "- ")
                            + (isReservedWord(w) ? "reserved " : "- ")
                            + (isStIdentifier(w) ? "identifier " : "- ")
                            + bytes(makeIdentifier(w, "P")),
                        bytes(expected));
    }
};

QTEST_APPLESS_MAIN(TestStExpr)
#include "tst_stexpr.moc"
