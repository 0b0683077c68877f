#pragma once

// A parsed predicate written back with its names renamed.

#include "st/expr.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace trilette {

/// New spelling for a name, or nothing to keep it.
using Renamer = std::function<std::optional<std::string>(std::string_view name)>;

/// The predicate text with each name renamed as `rename` says, every other byte as written.
/// Function names are not renamed.
std::string renderExpr(const Expr &expr, const Renamer &rename);

} // namespace trilette
