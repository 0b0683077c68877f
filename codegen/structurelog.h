#pragma once

#include "net/net.h"
#include "util/textsink.h"

namespace trilette {

/// Writes the plain-text log of the net as it was read into `out`: every place with its
/// marking, actions and successor, every transition with its predicate, actions and arcs (with
/// their kind), and for the transitions that have them, their time interval and the transitions
/// they have priority over.
void writeStructureLog(const Net &net, TextSink &out);

} // namespace trilette
