#include "tests/support/evaluate.h"

#include "st/words.h"

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

std::optional<Value> evaluate(const Expr &expr, const NameLookup &lookup)
{
    const std::vector<ExprNode> &nodes = expr.nodes();
    std::vector<Value> values(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ExprNode &node = nodes[i];
        const std::string_view text = expr.text(node);
        const Value x = node.childCount ? values[expr.child(node, 0)] : Value();
        const Value y = node.childCount > 1 ? values[expr.child(node, 1)] : Value();
        const bool binary = node.childCount == 2;
        if (node.kind >= ExprKind::Add && node.kind <= ExprKind::Plus && node.kind != ExprKind::Not
            && (x.isBool || (binary && y.isBool)))
            return std::nullopt; // arithmetic on a BOOL
        if (binary && x.isBool != y.isBool && node.kind != ExprKind::Call)
            return std::nullopt; // a BOOL beside a DINT
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
                return std::nullopt;
            v = Value::dint(kind == ExprKind::Div ? wrap(a / b) : int32_t(a % b));
        } else if (kind == ExprKind::Pow) {
            if (a == 0 && b < 0)
                return std::nullopt;
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
                return std::nullopt;
            v = *found;
        } else if (kind == ExprKind::IntLiteral) {
            const bool negated = i + 1 < nodes.size() && nodes[i + 1].kind == ExprKind::Neg;
            const std::optional<int32_t> literal = dintLiteral(text, negated);
            if (!literal)
                return std::nullopt;
            v = Value::dint(*literal);
        } else if (kind == ExprKind::BoolLiteral) {
            v = Value::boolean(sameWord(text, "TRUE"));
        } else {
            return std::nullopt; // a real, a typed literal, an address, a member, a call
        }
    }
    return nodes.empty() ? Value::boolean(true) : values.back();
}

} // namespace trilette
