#pragma once

#include <cstdint>
#include <string>

namespace trilette::bench {

/// What to generate: the size in lines and the seed fix the net byte for byte.
struct NetShape
{
    /// Lines of the file, the final 'h' line included (at least 1).
    long lines = 1000;
    uint64_t seed = 1;
    /// Share of the lines that end with CR LF instead of LF.
    double crlfShare = 0.0;
    /// Share of the arcs that join a transition to a place of another module, added to the
    /// module's own arcs (at most 0.5).
    double longRangeShare = 0.10;
    /// Share of the arcs, of every kind but place to place, whose place and transition are
    /// drawn anywhere in the net instead: 1 joins nodes far apart in the file on almost every
    /// arc line. The lines and names stay those of the same shape without it.
    double randomArcShare = 0.0;
};

/// Generates the text of a large .ndr net shaped like the nets that engineers draw: modules
/// of a few places and transitions in a cycle (place lines, then transition lines, then arc
/// lines, module after module), labelled places naming several outputs, labelled and
/// unlabelled transitions, weighted arcs in the short and the long form, K-suffixed markings
/// and weights, duplicate names, annotation lines and the final 'h' line. Exactly
/// `shape.lines` lines; the same shape always gives the same text.
std::string generateNet(const NetShape &shape);

} // namespace trilette::bench
