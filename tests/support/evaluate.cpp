#include "tests/support/evaluate.h"

#include "st/words.h"
#include "util/diagnostic.h"

namespace trilette {

namespace {

constexpr uint64_t TwoPow31 = uint64_t(1) << 31;

/// A literal's DINT value: decimal up to 2^31 - 1 (2^31 as the operand of a unary -, giving
/// the bit pattern that the minus keeps), based up to 16#FFFFFFFF as a bit pattern.
std::optional<int32_t> dintLiteral(std::string_view text, bool negated)
{
    const IntegerText literal = integerText(text);
    const bool fits = literal.value < TwoPow31 || (literal.based && literal.value <= 0xFFFFFFFFu)
        || (negated && literal.value == TwoPow31);
    return literal.tooLarge || !fits ? std::nullopt
                                     : std::optional<int32_t>(int32_t(uint32_t(literal.value)));
}

int32_t wrap(int64_t value)
{
    return int32_t(uint32_t(uint64_t(value)));
}

const char *operatorText(const Expr &expr, const ExprNode &node)
{
    static const char *const symbols[] = {"OR", "XOR", "AND", "=", "<>",  "<",  ">",   "<=", ">=",
                                          "+",  "-",   "*",   "/", "MOD", "**", "NOT", "-",  "+"};
    const bool ampersand = node.kind == ExprKind::And && expr.text()[node.mark] == '&';
    return ampersand ? "&" : symbols[static_cast<int>(node.kind)];
}

int32_t power(int32_t base, int32_t exponent)
{
    if (exponent < 0)
        return base == 1 ? 1 : base == -1 ? (exponent % 2 ? -1 : 1) : 0;
    uint32_t result = 1, factor = uint32_t(base);
    for (uint32_t e = uint32_t(exponent); e; e >>= 1) {
        if (e & 1)
            result *= factor;
        factor *= factor;
    }
    return int32_t(result);
}

} // namespace

EvalResult evaluate(const Expr &expr, const NameLookup &lookup)
{
    EvalResult result;
    result.value = Value::boolean(true);
    const std::vector<ExprNode> &nodes = expr.nodes();
    std::vector<Value> values(nodes.size());
    const auto stop = [&](EvalResult::Status status, uint32_t offset, std::string message) {
        result.status = status;
        result.offset = offset;
        result.message = std::move(message);
        return result;
    };
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ExprNode &node = nodes[i];
        const std::string_view text = expr.text(node);
        const Value x = node.childCount ? values[expr.child(node, 0)] : Value();
        const Value y = node.childCount > 1 ? values[expr.child(node, 1)] : Value();
        const bool binary = node.childCount == 2;
        if (node.kind >= ExprKind::Add && node.kind <= ExprKind::Plus && node.kind != ExprKind::Not
            && (x.isBool || (binary && y.isBool)))
            return stop(EvalResult::Failed, node.mark,
                        quoted(operatorText(expr, node), 40) + " appliqué à un BOOL");
        if (binary && x.isBool != y.isBool && node.kind != ExprKind::Call)
            return stop(EvalResult::Failed, node.mark,
                        quoted(operatorText(expr, node), 40) + " entre un "
                            + (x.isBool ? "BOOL" : "DINT") + " et un "
                            + (y.isBool ? "BOOL" : "DINT"));
        const ExprKind kind = node.kind;
        const int64_t a = x.number, b = y.number;
        Value &v = values[i];
        if (kind <= ExprKind::And) {
            v = Value {x.isBool,
                       int32_t(kind == ExprKind::Or        ? a | b
                                   : kind == ExprKind::Xor ? a ^ b
                                                           : a & b)};
        } else if (kind <= ExprKind::Ge) {
            const bool holds[] = {a == b, a != b, (a < b), (a > b), a <= b, a >= b};
            v = Value::boolean(holds[int(kind) - int(ExprKind::Eq)]);
        } else if (kind <= ExprKind::Mul) {
            v = Value::dint(wrap(kind == ExprKind::Add       ? a + b
                                     : kind == ExprKind::Sub ? a - b
                                                             : a * b));
        } else if (kind <= ExprKind::Mod) {
            if (b == 0)
                return stop(EvalResult::Failed, node.mark,
                            kind == ExprKind::Div ? "division par zéro" : "« MOD » par zéro");
            v = Value::dint(kind == ExprKind::Div ? wrap(a / b) : int32_t(a % b));
        } else if (kind == ExprKind::Pow) {
            if (a == 0 && b < 0)
                return stop(EvalResult::Failed, node.mark, "zéro élevé à une puissance négative");
            v = Value::dint(power(x.number, y.number));
        } else if (kind == ExprKind::Not) {
            v = x.isBool ? Value::boolean(!x.number) : Value::dint(~x.number);
        } else if (kind == ExprKind::Neg) {
            v = Value::dint(wrap(-a));
        } else if (kind == ExprKind::Plus || kind == ExprKind::Paren) {
            v = x;
        } else if (kind == ExprKind::Name) {
            const std::optional<Value> found = lookup ? lookup(text) : std::nullopt;
            if (!found)
                return stop(EvalResult::Failed, node.begin,
                            "variable " + quoted(text, 40) + " sans valeur");
            v = *found;
        } else if (kind == ExprKind::IntLiteral) {
            const bool negated = i + 1 < nodes.size() && nodes[i + 1].kind == ExprKind::Neg;
            const std::optional<int32_t> literal = dintLiteral(text, negated);
            if (!literal)
                return stop(EvalResult::Failed, node.begin,
                            "constante " + quoted(text, 40) + " hors des limites d'un DINT");
            v = Value::dint(*literal);
        } else if (kind == ExprKind::BoolLiteral) {
            v = Value::boolean(sameWord(text, "TRUE"));
        } else {
            const char *what = kind == ExprKind::RealLiteral ? "constante réelle "
                : kind == ExprKind::TypedLiteral             ? "constante "
                : kind == ExprKind::DirectAddress            ? "adresse "
                : kind == ExprKind::Member                   ? "sortie de bloc "
                                                             : "appel de ";
            return stop(EvalResult::Unsupported, node.begin,
                        what + quoted(kind == ExprKind::Call ? expr.prefix(node) : text, 40)
                            + " non évaluable");
        }
    }
    if (!nodes.empty())
        result.value = values.back();
    return result;
}

} // namespace trilette
