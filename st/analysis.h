#pragma once

// What the checks learn from a parsed predicate: the names it reads and how, the names read both
// as a BOOL and as a number, and whether two predicates can never hold together.

#include "st/expr.h"

#include <string_view>
#include <vector>

namespace trilette {

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

} // namespace trilette
