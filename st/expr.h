#pragma once

// Transition predicates as IEC 61131-3 Structured Text expressions: the parser and its tree.
//
// Accepted, lowest precedence first: OR; XOR; AND and &; = <>; < > <= >=; binary + -;
// * / MOD; ** (left-associative); unary NOT, - and +; then parentheses, literals, names,
// direct addresses and calls. Unary operators bind tighter than **, as in the current edition
// of the standard: -a ** 2 is (-a) ** 2 and NOT a = b is (NOT a) = b.
// Literals: integers (1_000, 2#1010, 8#17, 16#FF), reals (1.5, 1.5E3; a point is required),
// TRUE and FALSE, and typed literals: an integer, bit, BOOL or REAL type, '#', the value
// (INT#-5, WORD#16#FF, BOOL#TRUE, REAL#1.5), or T#, TIME#, LT#, LTIME# with a duration made of
// d, h, m, s, ms, us, ns parts in that order, only the last one with a fraction (T#1h_2m,
// t#1.5s). Dates, times of day and strings are refused. A literal glued to a letter, digit,
// '_', '#' or '.' (12abc, 1., 16#FG) is one malformed constant.
// Names: a letter or '_', then letters, digits and '_' (doubled or trailing '_' let through
// for the PLC's compiler to judge). Keywords and type names (IF, THEN, END_IF, VAR, INT,
// TIME...) read as names too, so that a label such as "Exit" can be given a valid name (see
// isKeyword); the shape of an expression still refuses any statement. A name before '(' is a call,
// with positional arguments only (F(IN := x) is refused). A name, '.' and a name read the output
// of a function block instance (T1.Q); deeper members (a.b.c) and array elements (a[1]) are
// refused.
// Direct addresses: '%', I, Q or M, an optional size X, B, W, D or L, then numbers joined by
// '.' (%IX0.1, %MW10).
// Keywords, type names, units and address letters are case-insensitive. Blanks, tabs, CR and
// LF separate tokens. Comments are refused; so is any other byte, NUL and non-ASCII included.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// Nesting allowed in a predicate: parentheses, calls and unary operators each count one.
constexpr int MaxExprDepth = 256;

enum class ExprKind : uint8_t {
    Or,
    Xor,
    And, ///< AND or &
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Pow,
    Not,
    Neg,
    Plus, ///< unary +
    Paren,
    Name,
    IntLiteral,
    RealLiteral,
    BoolLiteral,
    TypedLiteral,
    DirectAddress,
    /// An output of a function block instance: T1.Q.
    Member,
    Call,
};

/// One node of a parsed predicate. Children always come before their parent in the tree's
/// node list, so a forward loop visits operands first and the last node is the root.
struct ExprNode
{
    ExprKind kind = ExprKind::Name;
    /// Byte span in the predicate text; a Paren's and a Call's include their parentheses.
    uint32_t begin = 0, end = 0;
    /// Offset of the operator for operators, end of the function name for a Call, offset of
    /// the '#' for a TypedLiteral; otherwise `begin`.
    uint32_t mark = 0;
    /// The operands (a Call's arguments) as a range of Expr's child list.
    uint32_t firstChild = 0, childCount = 0;
};

/// A parsed predicate: its text and its nodes in flat lists, so that any shape, a chain of
/// 100,000 operands included, is copied and released without recursion.
class Expr
{
public:
    /// True for an empty or all-blank predicate, which callers take as TRUE.
    bool isEmpty() const { return nodes_.empty(); }
    const std::string &text() const { return text_; }
    const std::vector<ExprNode> &nodes() const { return nodes_; }
    uint32_t root() const { return uint32_t(nodes_.size() - 1); }
    const ExprNode &node(uint32_t index) const { return nodes_[index]; }
    /// Index of the `k`-th operand of `node`.
    uint32_t child(const ExprNode &node, uint32_t k) const
    {
        return children_[node.firstChild + k];
    }
    /// The node as written, e.g. a name's spelling or a literal.
    std::string_view text(const ExprNode &node) const
    {
        return std::string_view(text_).substr(node.begin, node.end - node.begin);
    }
    /// A Call's function name or a TypedLiteral's type prefix.
    std::string_view prefix(const ExprNode &node) const
    {
        return std::string_view(text_).substr(node.begin, node.mark - node.begin);
    }

private:
    friend class ExprParser;
    std::string text_;
    std::vector<ExprNode> nodes_;
    std::vector<uint32_t> children_;
};

/// Why a predicate was refused, at which byte.
struct ParseError
{
    enum Kind : uint8_t {
        Unexpected, ///< `found` where the grammar wanted `expected`
        TooDeep, ///< more than MaxExprDepth levels
        TooLong, ///< more than 4 GiB of text
        BadConstant, ///< `found` starts like a literal but is not one
        BadAddress, ///< `found` starts like a direct address but is not one
    };
    Kind kind = Unexpected;
    size_t offset = 0;
    /// For Unexpected, e.g. "opérande", "« ) »", "fin du prédicat".
    std::string expected;
    /// The offending token, e.g. "« ; »", "mot réservé « IF »", "fin du prédicat".
    std::string found;

    /// One French sentence, e.g. "« ) » attendue, fin du prédicat trouvée".
    std::string message() const;
};

struct ParseResult
{
    bool ok = false;
    Expr expr; ///< when ok; empty for an all-blank predicate
    ParseError error; ///< when not ok
};

ParseResult parseExpression(std::string_view text);

/// Whether a node has no operand: a name, a literal, a direct address or a member.
inline bool isLeaf(ExprKind kind)
{
    return kind >= ExprKind::Name && kind <= ExprKind::Member;
}

/// Whether a node compares its two operands: = <> < > <= >=.
inline bool isComparison(ExprKind kind)
{
    return kind >= ExprKind::Eq && kind <= ExprKind::Ge;
}

/// The node under any parentheses around `index`.
uint32_t stripParens(const Expr &expr, uint32_t index);

/// The value of an integer literal as the parser accepted it (1_000, 16#FF).
struct IntegerText
{
    uint64_t value = 0;
    bool based = false;
    bool tooLarge = false; ///< beyond 2^40, more than any use here needs
};

IntegerText integerText(std::string_view text);

} // namespace trilette
