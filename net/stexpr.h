#pragma once

// Transition predicates as IEC 61131-3 Structured Text expressions: the parser, and what later
// stages need from the tree (names read and their uses, exclusivity, evaluation, renaming).
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
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// Whether `word` is an ST keyword or type name (IF, END_IF, EXIT, INT, TIME...), compared
/// without case. The parser reads such words as names, so that a label like "Exit" can be given
/// a valid name; they cannot stand as written in a program.
bool isKeyword(std::string_view word);

/// Whether `word` is reserved in IEC 61131-3, compared without case: keywords and type names,
/// standard functions and function blocks (ABS, MAX, TON, R_TRIG...) and type conversions
/// (INT_TO_REAL...). No variable may be named so.
bool isReservedWord(std::string_view word);

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

/// One-line form for tests: operators by name with their operands, parentheses kept, calls as
/// "call F(a, b)", names and literals as written, e.g. "or(and(a, not(b)), (eq(c, 5)))".
std::string dumpExpr(const Expr &expr);

/// How a name is read: as a BOOL, as a number (to be declared DINT), or unknown (a call's
/// argument).
enum class NameUse : uint8_t { Bool, Number, Unknown };

struct NameRef
{
    std::string_view spelling; ///< into the Expr's text
    uint32_t offset = 0;
    NameUse use = NameUse::Unknown;
};

/// Every name the predicate reads, in text order, with its use. A name is Bool as the whole
/// predicate or an operand of NOT, AND, &, OR, XOR; Number as an operand of < > <= >= + - * /
/// MOD ** or unary - +; as an operand of = or <>, it takes the type of the other side (BOOL#
/// literals and bit addresses such as %IX0.1 are Boolean), Number when that side is a name or
/// a call too; Unknown as a call's argument. Parentheses pass the use through. Function names
/// are not names read.
std::vector<NameRef> nameUses(const Expr &expr);

/// A name read both as a BOOL and as a number: its first use of each kind.
struct NameConflict
{
    NameRef asBool, asNumber;
};

/// The names of `uses` read both ways, compared case-insensitively, in order of first use.
std::vector<NameConflict> useConflicts(const std::vector<NameRef> &uses);

/// True only when the two predicates can never hold together, shown on their top-level
/// conjuncts (AND, &, through parentheses), the pairs within one predicate included: one is
/// the negation of another (x and NOT x); two compare the same operands with no ordering in
/// common (a < b and b <= a, a < b and a > b); two compare the same operand with integer or
/// Boolean constants whose sets are disjoint over any ordered type (a = 1 and a = 2, a < 5 and
/// 5 <= a, but not a < 5 and a > 4, which a REAL may satisfy); or one is FALSE. Operands are
/// compared structurally, names case-insensitively; one holding a call equals nothing, since
/// a call may give another value the second time. An empty predicate is exclusive with
/// nothing. False whenever unsure, also when the comparisons would take too long.
bool provablyExclusive(const Expr &a, const Expr &b);

/// A BOOL or a DINT.
struct Value
{
    bool isBool = true;
    int32_t number = 0; ///< 0 or 1 for a BOOL

    static Value boolean(bool b) { return Value {true, b ? 1 : 0}; }
    static Value dint(int32_t n) { return Value {false, n}; }
    bool operator==(const Value &other) const
    {
        return isBool == other.isBool && number == other.number;
    }
};

/// The value of a name, or nothing when it has none.
using NameLookup = std::function<std::optional<Value>(std::string_view name)>;

struct EvalResult
{
    enum Status : uint8_t {
        Ok,
        Failed, ///< a name without value, mixed types, division by zero...
        Unsupported, ///< a real, a typed literal, a call or a direct address
    };
    Status status = Ok;
    Value value;
    uint32_t offset = 0; ///< of the node or operator at fault
    std::string message; ///< French, e.g. "division par zéro"
};

/// Evaluates like a PLC on BOOL and DINT, an empty predicate as TRUE: 32-bit wrap-around,
/// division truncated toward zero, MOD with the sign of the dividend, AND OR XOR NOT bitwise on
/// DINTs, FALSE < TRUE, every operand evaluated (no short circuit). A decimal literal must fit
/// a DINT (2147483648 only right after a unary -); based literals up to 16#FFFFFFFF are bit
/// patterns. An integer ** with a negative exponent is 1, -1 or 0 as for a division; 0 ** -n
/// fails.
EvalResult evaluate(const Expr &expr, const NameLookup &lookup);

/// New spelling for a name, or nothing to keep it.
using Renamer = std::function<std::optional<std::string>(std::string_view name)>;

/// The predicate text with each name renamed as `rename` says, every other byte as written.
/// Function names are not renamed.
std::string renderExpr(const Expr &expr, const Renamer &rename);

} // namespace trilette
