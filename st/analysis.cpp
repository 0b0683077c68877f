#include "st/analysis.h"

#include "st/words.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace trilette {

std::vector<NameRef> nameUses(const Expr &expr)
{
    std::vector<NameRef> uses;
    const std::vector<ExprNode> &nodes = expr.nodes();
    const size_t count = nodes.size();
    // What each node gives by itself, then what its parent asks of it.
    std::vector<NameUse> gives(count, NameUse::Unknown), asked(count, NameUse::Bool);
    for (size_t i = 0; i < count; ++i) {
        const ExprNode &node = nodes[i];
        switch (node.kind) {
        case ExprKind::Paren:
            gives[i] = gives[expr.child(node, 0)];
            break;
        case ExprKind::Name:
        case ExprKind::Member:
        case ExprKind::Call:
            break;
        case ExprKind::TypedLiteral:
            gives[i] = sameWord(expr.prefix(node), "BOOL") ? NameUse::Bool : NameUse::Number;
            break;
        case ExprKind::DirectAddress: {
            const char size = upperAscii(expr.text(node)[2]);
            gives[i] = isDigit(size) || size == 'X' ? NameUse::Bool : NameUse::Number;
            break;
        }
        case ExprKind::Add:
        case ExprKind::Sub:
        case ExprKind::Mul:
        case ExprKind::Div:
        case ExprKind::Mod:
        case ExprKind::Pow:
        case ExprKind::Neg:
        case ExprKind::Plus:
        case ExprKind::IntLiteral:
        case ExprKind::RealLiteral:
            gives[i] = NameUse::Number;
            break;
        default:
            gives[i] = NameUse::Bool;
        }
    }
    for (size_t i = count; i-- > 0;) {
        const ExprNode &node = nodes[i];
        for (uint32_t k = 0; k < node.childCount; ++k) {
            const bool logical = node.kind == ExprKind::Or || node.kind == ExprKind::Xor
                || node.kind == ExprKind::And || node.kind == ExprKind::Not;
            const bool equality = node.kind == ExprKind::Eq || node.kind == ExprKind::Ne;
            const NameUse use = node.kind == ExprKind::Paren ? asked[i]
                : node.kind == ExprKind::Call                ? NameUse::Unknown
                : logical || (equality && gives[expr.child(node, 1 - k)] == NameUse::Bool)
                ? NameUse::Bool
                : NameUse::Number;
            asked[expr.child(node, k)] = use;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (nodes[i].kind == ExprKind::Name)
            uses.push_back({expr.text(nodes[i]), nodes[i].begin, asked[i]});
    }
    return uses;
}

std::vector<NameConflict> useConflicts(const std::vector<NameRef> &uses)
{
    struct Seen
    {
        const NameRef *asBool = nullptr, *asNumber = nullptr;
    };
    std::vector<Seen> seen;
    std::unordered_map<std::string, size_t> index;
    for (const NameRef &ref : uses) {
        std::string key(ref.spelling);
        std::transform(key.begin(), key.end(), key.begin(), upperAscii);
        const size_t at = index.emplace(key, seen.size()).first->second;
        if (at == seen.size())
            seen.emplace_back();
        if (ref.use == NameUse::Bool && !seen[at].asBool)
            seen[at].asBool = &ref;
        if (ref.use == NameUse::Number && !seen[at].asNumber)
            seen[at].asNumber = &ref;
    }
    std::vector<NameConflict> conflicts;
    for (const Seen &name : seen) {
        if (name.asBool && name.asNumber)
            conflicts.push_back({*name.asBool, *name.asNumber});
    }
    return conflicts;
}

namespace {

constexpr uint64_t TwoPow31 = uint64_t(1) << 31;

ExprKind mirrored(ExprKind kind)
{
    switch (kind) {
    case ExprKind::Lt:
        return ExprKind::Gt;
    case ExprKind::Gt:
        return ExprKind::Lt;
    case ExprKind::Le:
        return ExprKind::Ge;
    case ExprKind::Ge:
        return ExprKind::Le;
    default:
        return kind;
    }
}

/// The orderings of two operands under which a comparison holds: 1 for less, 2 for equal, 4
/// for greater. Two comparisons of the same operands with no ordering in common never both hold.
int orderings(ExprKind kind)
{
    switch (kind) {
    case ExprKind::Lt:
        return 1;
    case ExprKind::Eq:
        return 2;
    case ExprKind::Gt:
        return 4;
    case ExprKind::Le:
        return 3;
    case ExprKind::Ge:
        return 6;
    default:
        return 5;
    }
}

/// The values satisfying `operand <kind> constant`, as an interval over any ordered type.
struct Range
{
    ExprKind kind;
    int64_t constant;

    bool hasLow() const
    {
        return kind == ExprKind::Eq || kind == ExprKind::Gt || kind == ExprKind::Ge;
    }
    bool hasHigh() const
    {
        return kind == ExprKind::Eq || kind == ExprKind::Lt || kind == ExprKind::Le;
    }
    /// True when every value of this range lies below every value of `other`.
    bool below(const Range &other) const
    {
        if (!hasHigh() || !other.hasLow())
            return false;
        return constant < other.constant
            || (constant == other.constant && (kind == ExprKind::Lt || other.kind == ExprKind::Gt));
    }
    bool disjoint(const Range &other) const
    {
        if (kind == ExprKind::Ne || other.kind == ExprKind::Ne)
            return kind != other.kind && constant == other.constant
                && (kind == ExprKind::Eq || other.kind == ExprKind::Eq);
        return below(other) || other.below(*this);
    }
};

/// Structural comparison of subtrees of two predicates, within a bounded amount of work.
class Comparer
{
public:
    Comparer(const Expr &a, const Expr &b)
        : a_(a)
        , b_(b)
    { }

    /// Whether node `i` of the first predicate and node `j` of the second are the same.
    bool same(uint32_t i, uint32_t j)
    {
        stack_.assign(1, {i, j});
        while (!stack_.empty()) {
            if (--budget_ < 0)
                return false;
            const uint32_t p = stripParens(a_, stack_.back().first);
            const uint32_t q = stripParens(b_, stack_.back().second);
            stack_.pop_back();
            const ExprNode &m = a_.node(p), &n = b_.node(q);
            if (m.kind != n.kind || m.childCount != n.childCount || m.kind == ExprKind::Call)
                return false;
            if (m.kind == ExprKind::IntLiteral) {
                const IntegerText u = integerText(a_.text(m)), v = integerText(b_.text(n));
                if (u.tooLarge || v.tooLarge ? a_.text(m) != b_.text(n) : u.value != v.value)
                    return false;
            } else if (isLeaf(m.kind) && !sameWord(a_.text(m), b_.text(n))) {
                return false;
            }
            for (uint32_t k = 0; k < m.childCount; ++k)
                stack_.emplace_back(a_.child(m, k), b_.child(n, k));
        }
        return true;
    }

    bool spent() { return --budget_ < 0; }

private:
    const Expr &a_, &b_;
    std::vector<std::pair<uint32_t, uint32_t>> stack_;
    int64_t budget_ = 4'000'000;
};

std::vector<uint32_t> conjuncts(const Expr &expr)
{
    std::vector<uint32_t> found, stack {expr.root()};
    while (!stack.empty()) {
        const uint32_t index = stripParens(expr, stack.back());
        stack.pop_back();
        const ExprNode &node = expr.node(index);
        if (node.kind == ExprKind::And) {
            stack.push_back(expr.child(node, 1));
            stack.push_back(expr.child(node, 0));
        } else {
            found.push_back(index);
        }
    }
    return found;
}

bool isFalse(const Expr &expr, uint32_t index)
{
    const ExprNode &node = expr.node(stripParens(expr, index));
    if (node.kind == ExprKind::Not) {
        const ExprNode &operand = expr.node(stripParens(expr, expr.child(node, 0)));
        return operand.kind == ExprKind::BoolLiteral && sameWord(expr.text(operand), "TRUE");
    }
    return node.kind == ExprKind::BoolLiteral && sameWord(expr.text(node), "FALSE");
}

/// The integer value of a constant operand: an integer literal that fits a DINT, its negation,
/// FALSE as 0 or TRUE as 1. Based literals count only below 2^31, where all types agree.
std::optional<int64_t> constantValue(const Expr &expr, uint32_t index)
{
    const ExprNode &node = expr.node(stripParens(expr, index));
    if (node.kind == ExprKind::BoolLiteral)
        return sameWord(expr.text(node), "TRUE") ? 1 : 0;
    const bool negated = node.kind == ExprKind::Neg;
    const ExprNode &literal = negated ? expr.node(expr.child(node, 0)) : node;
    if (literal.kind != ExprKind::IntLiteral)
        return std::nullopt;
    const IntegerText text = integerText(expr.text(literal));
    if (text.tooLarge || text.value > (negated ? TwoPow31 : TwoPow31 - 1))
        return std::nullopt;
    return negated ? -int64_t(text.value) : int64_t(text.value);
}

/// For `operand <op> constant` or `constant <op> operand`: the operand and its range.
std::optional<std::pair<uint32_t, Range>> constantComparison(const Expr &expr, const ExprNode &node)
{
    const uint32_t left = expr.child(node, 0), right = expr.child(node, 1);
    if (const auto value = constantValue(expr, right))
        return std::make_pair(left, Range {node.kind, *value});
    if (const auto value = constantValue(expr, left))
        return std::make_pair(right, Range {mirrored(node.kind), *value});
    return std::nullopt;
}

bool contradict(Comparer &cmp, const Expr &a, uint32_t x, const Expr &b, uint32_t y)
{
    x = stripParens(a, x);
    y = stripParens(b, y);
    const ExprNode &m = a.node(x), &n = b.node(y);
    if (m.kind == ExprKind::Not && cmp.same(a.child(m, 0), y))
        return true;
    if (n.kind == ExprKind::Not && cmp.same(x, b.child(n, 0)))
        return true;
    if (!isComparison(m.kind) || !isComparison(n.kind))
        return false;
    const uint32_t ml = a.child(m, 0), mr = a.child(m, 1), nl = b.child(n, 0), nr = b.child(n, 1);
    if (!(orderings(m.kind) & orderings(n.kind)) && cmp.same(ml, nl) && cmp.same(mr, nr))
        return true;
    if (!(orderings(mirrored(m.kind)) & orderings(n.kind)) && cmp.same(ml, nr) && cmp.same(mr, nl))
        return true;
    const auto p = constantComparison(a, m), q = constantComparison(b, n);
    return p && q && p->second.disjoint(q->second) && cmp.same(p->first, q->first);
}

/// Whether a conjunct of `a` contradicts one of `b`, each pair considered once when `a` is `b`.
bool contradiction(const Expr &a, const std::vector<uint32_t> &left, const Expr &b,
                   const std::vector<uint32_t> &right)
{
    Comparer cmp(a, b);
    for (size_t i = 0; i < left.size(); ++i) {
        if (isFalse(a, left[i]))
            return true;
        for (size_t j = &a == &b ? i + 1 : 0; j < right.size(); ++j) {
            if (cmp.spent())
                return false;
            if (contradict(cmp, a, left[i], b, right[j]))
                return true;
        }
    }
    return false;
}

} // namespace

bool provablyExclusive(const Expr &a, const Expr &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const std::vector<uint32_t> left = conjuncts(a), right = conjuncts(b);
    // A predicate that contradicts itself never holds, so it is exclusive with any other.
    return contradiction(a, left, a, left) || contradiction(b, right, b, right)
        || contradiction(a, left, b, right);
}

} // namespace trilette
