#pragma once

#include "codegen/symbols.h"
#include "net/net.h"
#include "util/textsink.h"

#include <string_view>

namespace trilette {

/// The names of the configuration that runs the program, fixed so that projects can rely on them.
struct ConfigurationNames
{
    static constexpr const char *configuration = "Config";
    static constexpr const char *resource = "Ressource";
    static constexpr const char *task = "Tache";
    static constexpr const char *instance = "Instance";
    /// The cycle of the task.
    static constexpr const char *interval = "T#10ms";
};

/// Writes one IEC 61131-3 compilation unit that compiles on its own: the PROGRAM with its
/// declarations (inputs, outputs, marking variables with the initial marking as their initial
/// value, timers) and its body, then a CONFIGURATION whose one RESOURCE runs an instance of it
/// in a cyclic TASK. `netName` names the net in the header comment. `stop`, when given, is called
/// before the first line and after the declarations; `out`'s block hook follows the rest.
void writePou(const Net &net, const ProgramSymbols &symbols, std::string_view netName,
              TextSink &out, const StopCheck &stop = {});

/// `text` made safe inside an ST comment: "*)" and "(*" get a blank inside them, so that nothing
/// in it ends or opens a comment; printable ASCII and UTF-8 sequences (see utf8Length) are kept,
/// every other byte becomes '?'.
std::string commentText(std::string_view text);

} // namespace trilette
