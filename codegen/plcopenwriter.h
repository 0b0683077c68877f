#pragma once

#include "codegen/symbols.h"
#include "net/net.h"
#include "util/textsink.h"

#include <string_view>

namespace trilette {

/// Writes the program as a PLCopen XML TC6 2.01 project: its file and content headers, the
/// program as a POU with its interface (input, output and local variables with their initial
/// values) and its body as ST text, and the configuration, resource, task and program instance
/// that run it. The document is built with an XML library, so no name or text can break it.
/// `netName` describes the net; the creation time is SOURCE_DATE_EPOCH when that is set (for
/// reproducible files), otherwise now. The whole document is built before its first byte goes to
/// `out`: `stop`, when given, is called after each block of the body and before the document is
/// saved.
void writePlcOpen(const Net &net, const ProgramSymbols &symbols, std::string_view netName,
                  TextSink &out, const StopCheck &stop = {});

} // namespace trilette
