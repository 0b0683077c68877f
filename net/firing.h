#pragma once

#include "net/net.h"
#include "util/diagnostic.h"

#include <string_view>
#include <vector>

namespace trilette {

/// The priority relation of a net: which transitions have priority over which, as the transitive
/// closure of the arcs between transitions. Arcs that lie on a cycle of priorities mean nothing
/// and are left out, with an error each.
class Priorities
{
public:
    /// Computes the relation; cycles are reported to `diagnostics` (null for none) under
    /// `fileName`.
    Priorities(const Net &net, std::string_view fileName, Diagnostics *diagnostics);

    /// The transitions that have priority over `transition`, in list order.
    const std::vector<const Transition *> &over(const Transition &transition) const;
    /// Whether any transition has priority over another.
    bool empty() const { return empty_; }

private:
    std::vector<std::vector<const Transition *>> over_;
    std::vector<const Transition *> none_;
    bool empty_ = true;
};

} // namespace trilette
