#pragma once

#include "codegen/symbols.h"
#include "net/net.h"
#include "util/textsink.h"

#include <string_view>

namespace trilette {

/// Writes one IEC 61131-3 compilation unit that compiles on its own: the PROGRAM with its
/// declarations (inputs, outputs, marking variables with the initial marking as their initial
/// value, timers) and its body, then a CONFIGURATION whose one RESOURCE runs an instance of it
/// in a cyclic TASK. `netName` names the net in the header comment. `stop`, when given, is called
/// before the first line and after the declarations; `out`'s block hook follows the rest.
void writePou(const Net &net, const ProgramSymbols &symbols, std::string_view netName,
              TextSink &out, const StopCheck &stop = {});

} // namespace trilette
