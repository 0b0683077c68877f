#pragma once

#include "net/net.h"
#include "util/textsink.h"

#include <string>

namespace trilette {

/// Renders the Structured Text program from its header through BLOC M: INIT, one firing block
/// per transition, the copy of every s variable into its p variable. Prints "Ici1" on `trace`
/// (null for none) right after the header row.
void renderStCode(const Transition *transitions, const Place *places, TextSink &out,
                  TextSink *trace);

/// Renders BLOC G (each output named in the places' first actions, set from the markings of the
/// places that name it) and the END_IF that closes the program.
void renderOutputBlock(const Place *places, TextSink &out);

/// Creates or empties the ST program file at `stPath` (text mode) and writes what renderStCode
/// renders. True when the file was opened, written in full and closed without error.
bool writeStCode(const Transition *transitions, const std::string &stPath, const Place *places,
                 TextSink *trace);

/// Appends what renderOutputBlock renders to the ST program file at `stPath` (text mode).
/// True when the file was opened, written in full and closed without error.
bool appendOutputBlock(const Place *places, const std::string &stPath);

} // namespace trilette
