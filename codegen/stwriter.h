#pragma once

#include "net/net.h"
#include "util/textsink.h"

namespace trilette {

/// Writes the Structured Text program from its header through BLOC M into `out`: INIT, one
/// firing block per transition, the copy of every s variable into its p variable. Prints "Ici1"
/// on `trace` (null for none) right after the header row.
void writeStCode(const Transition *transitions, TextSink &out, const Place *places,
                 TextSink *trace);

/// Appends BLOC G to `out` (each output named in the places' first actions, set from the
/// markings of the places that name it) and the END_IF that closes the program.
void appendOutputBlock(const Place *places, TextSink &out);

} // namespace trilette
