#pragma once

#include "codegen/symbols.h"
#include "net/net.h"
#include "util/textsink.h"

namespace trilette {

class Priorities;

/// Whether BLOC F is written as a loop over its firing blocks rather than block after block:
/// where a transition has priority over another, or (with `timers`) a transition waits. Each
/// block then reads flags that a single piece of the loop computes again after each firing (what
/// a transition above can do, which timers a firing stopped), so that the program grows with
/// the net and not with the square of its priorities or timers.
bool firesInLoop(const Net &net, const Priorities &priorities, bool timers);

/// Whether BLOC G reads a place's marking test from a variable set once ("Trilette_gN" in st)
/// rather than writing it for each output that the place names: only where the place names
/// outputs so often, under a name (`stemSize` bytes in the program) so long, that the tests
/// would outgrow its line several times over; never for the places of a net drawn by hand.
bool markedFlagNeeded(const Place &place, size_t stemSize);

/// Writes the Structured Text program from its header through BLOC M into `out`: INIT, one
/// firing block per transition, the copy of every s variable into its p variable. Names stand as
/// in the net. Prints "Ici1" on `trace` (null for none) right after the header row. `priorities`
/// are the run's, computed once; without them the writer computes its own.
void writeStCode(const Net &net, TextSink &out, TextSink *trace,
                 const Priorities *priorities = nullptr);

/// Appends BLOC G to `out` (each output named in the places' first actions, set from the
/// markings of the places that name it) and the END_IF that closes the program.
void appendOutputBlock(const Net &net, TextSink &out);

/// Writes the statements of a complete program: what writeStCode and appendOutputBlock write
/// after the header row, with the identifiers and conditions of `symbols`, the timers of the
/// transitions that must wait, and a statement where a firing block would have none.
void writeProgramBody(const Net &net, const ProgramSymbols &symbols, TextSink &out);

} // namespace trilette
