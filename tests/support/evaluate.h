#pragma once

// A parsed predicate evaluated on BOOL and DINT values, as the reference firing rule needs.

#include "st/expr.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace trilette {

/// A BOOL or a DINT.
struct Value
{
    bool isBool = true;
    int32_t number = 0; ///< 0 or 1 for a BOOL

    static Value boolean(bool b) { return Value {true, b ? 1 : 0}; }
    static Value dint(int32_t n) { return Value {false, n}; }
    bool operator==(const Value &o) const { return isBool == o.isBool && number == o.number; }
};

/// The value of a name, or nothing when it has none.
using NameLookup = std::function<std::optional<Value>(std::string_view name)>;

/// Evaluates like a PLC on BOOL and DINT, an empty predicate as TRUE: 32-bit wrap-around,
/// division truncated toward zero, MOD with the sign of the dividend, AND OR XOR NOT bitwise on
/// DINTs, FALSE < TRUE, every operand evaluated (no short circuit). A decimal literal must fit
/// a DINT (2147483648 only right after a unary -); based literals up to 16#FFFFFFFF are bit
/// patterns. An integer ** with a negative exponent is 1, -1 or 0 as for a division. Nothing
/// where a PLC could not evaluate it (a name without value, mixed types, division by zero,
/// 0 ** -n) or where it leaves BOOL and DINT (a real, a typed literal, a call, an address).
std::optional<Value> evaluate(const Expr &expr, const NameLookup &lookup);

} // namespace trilette
