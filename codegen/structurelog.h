#pragma once

#include "net/net.h"
#include "util/textsink.h"

namespace trilette {

/// Writes the plain-text log of the net as it was read into `out`: every place with its
/// marking, actions and successor, every transition with its predicate, actions and arcs.
void writeStructureLog(const Place *places, const Transition *transitions, TextSink &out);

} // namespace trilette
