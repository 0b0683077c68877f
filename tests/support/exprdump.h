#pragma once

// A parsed predicate as one line, for the tests to compare trees.

#include "st/expr.h"

#include <string>

namespace trilette {

/// One-line form for tests: operators by name with their operands, parentheses kept, calls as
/// "call F(a, b)", names and literals as written, e.g. "or(and(a, not(b)), (eq(c, 5)))".
std::string dumpExpr(const Expr &expr);

} // namespace trilette
