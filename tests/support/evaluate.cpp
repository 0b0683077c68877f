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
    if (literal.tooLarge)
        return std::nullopt;
    if (literal.value < TwoPow31 || (literal.based && literal.value <= 0xFFFFFFFFu)
        || (negated && literal.value == TwoPow31))
        return int32_t(uint32_t(literal.value));
    return std::nullopt;
}

int32_t wrap(int64_t value)
{
    return int32_t(uint32_t(uint64_t(value)));
}

const char *operatorText(const Expr &expr, const ExprNode &node)
{
    static const char *const symbols[] = {"OR", "XOR", "AND", "=", "<>",  "<",  ">",   "<=", ">=",
                                          "+",  "-",   "*",   "/", "MOD", "**", "NOT", "-",  "+"};
    if (node.kind == ExprKind::And && expr.text()[node.mark] == '&')
        return "&";
    return symbols[static_cast<int>(node.kind)];
}

const char *typeName(const Value &value)
{
    return value.isBool ? "BOOL" : "DINT";
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
                        quoted(operatorText(expr, node), 40) + " entre un " + typeName(x)
                            + " et un " + typeName(y));
        Value &v = values[i];
        switch (node.kind) {
        case ExprKind::Or:
            v = Value {x.isBool, x.number | y.number};
            break;
        case ExprKind::Xor:
            v = Value {x.isBool, x.number ^ y.number};
            break;
        case ExprKind::And:
            v = Value {x.isBool, x.number & y.number};
            break;
        case ExprKind::Eq:
            v = Value::boolean(x.number == y.number);
            break;
        case ExprKind::Ne:
            v = Value::boolean(x.number != y.number);
            break;
        case ExprKind::Lt:
            v = Value::boolean(x.number < y.number);
            break;
        case ExprKind::Gt:
            v = Value::boolean(x.number > y.number);
            break;
        case ExprKind::Le:
            v = Value::boolean(x.number <= y.number);
            break;
        case ExprKind::Ge:
            v = Value::boolean(x.number >= y.number);
            break;
        case ExprKind::Add:
            v = Value::dint(wrap(int64_t(x.number) + y.number));
            break;
        case ExprKind::Sub:
            v = Value::dint(wrap(int64_t(x.number) - y.number));
            break;
        case ExprKind::Mul:
            v = Value::dint(wrap(int64_t(x.number) * y.number));
            break;
        case ExprKind::Div:
        case ExprKind::Mod:
            if (y.number == 0)
                return stop(EvalResult::Failed, node.mark,
                            node.kind == ExprKind::Div ? "division par zéro" : "« MOD » par zéro");
            if (y.number == -1)
                v = Value::dint(node.kind == ExprKind::Div ? wrap(-int64_t(x.number)) : 0);
            else
                v = Value::dint(node.kind == ExprKind::Div ? x.number / y.number
                                                           : x.number % y.number);
            break;
        case ExprKind::Pow:
            if (x.number == 0 && y.number < 0)
                return stop(EvalResult::Failed, node.mark, "zéro élevé à une puissance négative");
            v = Value::dint(power(x.number, y.number));
            break;
        case ExprKind::Not:
            v = x.isBool ? Value::boolean(!x.number) : Value::dint(~x.number);
            break;
        case ExprKind::Neg:
            v = Value::dint(wrap(-int64_t(x.number)));
            break;
        case ExprKind::Plus:
        case ExprKind::Paren:
            v = x;
            break;
        case ExprKind::Name: {
            const std::optional<Value> found = lookup ? lookup(text) : std::nullopt;
            if (!found)
                return stop(EvalResult::Failed, node.begin,
                            "variable " + quoted(text, 40) + " sans valeur");
            v = *found;
            break;
        }
        case ExprKind::IntLiteral: {
            const bool negated = i + 1 < nodes.size() && nodes[i + 1].kind == ExprKind::Neg;
            const std::optional<int32_t> literal = dintLiteral(text, negated);
            if (!literal)
                return stop(EvalResult::Failed, node.begin,
                            "constante " + quoted(text, 40) + " hors des limites d'un DINT");
            v = Value::dint(*literal);
            break;
        }
        case ExprKind::BoolLiteral:
            v = Value::boolean(sameWord(text, "TRUE"));
            break;
        case ExprKind::RealLiteral:
            return stop(EvalResult::Unsupported, node.begin,
                        "constante réelle " + quoted(text, 40) + " non évaluable");
        case ExprKind::TypedLiteral:
            return stop(EvalResult::Unsupported, node.begin,
                        "constante " + quoted(text, 40) + " non évaluable");
        case ExprKind::DirectAddress:
            return stop(EvalResult::Unsupported, node.begin,
                        "adresse " + quoted(text, 40) + " non évaluable");
        case ExprKind::Member:
            return stop(EvalResult::Unsupported, node.begin,
                        "sortie de bloc " + quoted(text, 40) + " non évaluable");
        case ExprKind::Call:
            return stop(EvalResult::Unsupported, node.begin,
                        "appel de " + quoted(expr.prefix(node), 40) + " non évaluable");
        }
    }
    if (!nodes.empty())
        result.value = values.back();
    return result;
}

} // namespace trilette
