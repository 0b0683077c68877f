#pragma once

#include <cstdint>
#include <string>

namespace trilette::bench {

/// The shapes of net that a translator easily handles in more than linear time or output.
enum class HostileShape {
    /// T1 has priority over T2, T2 over T3, and so on: every transition is below all earlier
    /// ones.
    PriorityChain,
    /// Timed transitions that all take from one place and give back to it.
    TimersOnOnePlace,
    /// One place whose label has as many comma pieces as the net is asked lines.
    LongLabel,
    /// One place with a name of as many bytes as the net is asked lines, which names as many
    /// outputs.
    LongNameManyOutputs,
    /// Transitions that all take from one place, ordered by a chain of priorities.
    ManyOnOnePlace,
    /// Modules of places and transitions with priority arcs drawn at random between them, each
    /// from a transition to a later one (so never a cycle).
    RandomPriorities,
    /// Places whose names differ only in case, which the complete formats number one after
    /// another, and one place whose name is no identifier.
    SameNameOtherCase,
};

/// The shape named "chain", "timers", "label", "outputs", "fanin", "random" or "case"; false for
/// another name.
bool hostileShapeNamed(const std::string &name, HostileShape &shape);

/// The text of a net of `shape` with about `lines` lines (for LongLabel and LongNameManyOutputs:
/// that many pieces in one label, on a few lines), the same for the same seed.
std::string generateHostileNet(HostileShape shape, long lines, uint64_t seed);

} // namespace trilette::bench
