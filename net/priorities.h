#pragma once

#include "net/net.h"
#include "util/diagnostic.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace trilette {

/// The priority relation of a net: which transitions have priority over which, as the arcs
/// between transitions and their transitive closure. Arcs that lie on a cycle of priorities mean
/// nothing and are left out, with an error each. The closure itself is never built (it can be
/// quadratic in the number of arcs): what it holds is reached through the arcs kept.
class Priorities
{
public:
    /// Computes the relation; cycles are reported to `diagnostics` (null for none) under
    /// `fileName`.
    Priorities(const Net &net, std::string_view fileName, Diagnostics *diagnostics);

    /// The transitions that an arc kept gives priority over `transition`, each once, in list
    /// order.
    const std::vector<const Transition *> &direct(const Transition &transition) const;
    /// The transitions that have priority over some other, each after every transition that has
    /// priority over it (the higher first), ties in list order.
    const std::vector<const Transition *> &higherFirst() const { return order_; }
    /// Whether `higher` has priority over `lower`, directly or through others. Each call walks
    /// the arcs above `lower`, so callers ask it of a bounded number of pairs; `budget` (null for
    /// none) is decreased by the transitions visited, and the walk gives up (false) at zero. It
    /// marks what it visits in the object: one thread at a time (the other accessors only read).
    bool above(const Transition &higher, const Transition &lower, int64_t *budget = nullptr) const;
    /// Whether any transition has priority over another.
    bool empty() const { return order_.empty(); }

private:
    std::vector<std::vector<const Transition *>> direct_;
    std::vector<const Transition *> order_, none_;
    mutable std::vector<uint32_t> seen_;
    mutable uint32_t stamp_ = 0;
};

} // namespace trilette
