#pragma once

#include "net/net.h"
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

/// The checks of checkNet in parts of a few checks each. Parts only read the net, so they may run
/// on several threads at once, each into its own diagnostics: appended in the order of the parts,
/// those are what checkNet reports.
constexpr int checkPartCount = 5;
/// The only part that searches the net by name: once it has ended, the net's indexes by name may
/// be released (Net::releaseIndexes) while the other parts run.
constexpr int checkPartSearchingNames = 2;
/// The other parts, the costliest first.
constexpr std::array<int, checkPartCount - 1> checkPartsByCost = {1, 0, 3, 4};
void checkNetPart(const Net &net, std::string_view fileName, const CheckOptions &options,
                  Diagnostics &diagnostics, int part);

} // namespace trilette
