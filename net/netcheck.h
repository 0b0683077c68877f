#pragma once

#include "net/net.h"
#include "net/priorities.h"
#include "util/diagnostic.h"

#include <array>
#include <string_view>

namespace trilette {

/// What the program that will be written can carry, which decides how grave some findings are.
struct CheckOptions
{
    /// The program declares its variables (a complete POU, PLCopen XML): a predicate that does
    /// not parse, or a name read both as a Boolean and as a number, is an error, and names are
    /// made valid by the writer; otherwise they are warnings and clashing names are reported.
    bool strict = false;
    /// Time intervals are written as timers; otherwise each one is ignored with a warning.
    bool timed = false;
};

/// Checks a net as read for everything that the program will not do as drawn, and reports each
/// finding at its line (and column where there is one): arcs dropped or written twice, names
/// declared twice, predicates that are no ST expression, texts that the program does not carry,
/// transitions without input arcs, conflicts on shared places, cycles of priorities, arcs and
/// intervals that the program ignores, names that clash in ST.
void checkNet(const Net &net, std::string_view fileName, const CheckOptions &options,
              Diagnostics &diagnostics);

/// The checks of checkNet, grouped by what they check. Groups only read the net, so they may run
/// on several threads at once, each into its own diagnostics: appended in the order below, those
/// are what checkNet reports.
enum class CheckGroup {
    /// Places fed to transitions that may fire in one cycle and that no priority orders.
    Conflicts,
    /// Predicates that are no ST expression or read names that stand for something else, and
    /// names that clash in ST.
    Predicates,
    /// Places that only arcs name, names declared twice, arcs dropped. The only group that
    /// searches the net by name: once it has ended, the net's indexes by name may be released
    /// (Net::releaseIndexes) while the others run.
    Declarations,
    /// Arcs written twice, and texts that the program does not write.
    Writing,
    /// Transitions without input arcs, arcs and intervals that the program ignores.
    Firing,
};
constexpr std::array<CheckGroup, 5> checkGroups
    = {CheckGroup::Conflicts, CheckGroup::Predicates, CheckGroup::Declarations, CheckGroup::Writing,
       CheckGroup::Firing};

/// Runs one group of checks; `priorities` is the net's, with its cycles already reported.
void checkNetGroup(const Net &net, std::string_view fileName, const CheckOptions &options,
                   const Priorities &priorities, Diagnostics &diagnostics, CheckGroup group);

} // namespace trilette
