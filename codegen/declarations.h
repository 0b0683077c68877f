#pragma once

#include "codegen/symbols.h"
#include "util/textsink.h"

#include <string>
#include <string_view>
#include <vector>

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

/// One section of a complete program's declarations, as ST text and PLCopen XML name it.
struct VariableSection
{
    const char *stKeyword;
    const char *xmlElement;
    const std::vector<Variable> &(ProgramSymbols::*variables)() const;
};

/// The sections in the order that both complete formats declare them: inputs, outputs, then the
/// program's own variables (markings, timers, flags).
inline constexpr VariableSection variableSections[] = {
    {"VAR_INPUT", "inputVars", &ProgramSymbols::inputs},
    {"VAR_OUTPUT", "outputVars", &ProgramSymbols::outputs},
    {"VAR", "localVars", &ProgramSymbols::locals},
};

/// `text` made safe inside an ST comment: "*)" and "(*" get a blank inside them, so that nothing
/// in it ends or opens a comment; printable ASCII and UTF-8 sequences (see utf8Length) are kept,
/// every other byte becomes '?'.
std::string commentText(std::string_view text);

/// Writes the declarations of `symbols` as ST text: each non-empty section from its keyword to
/// END_VAR, one variable a line with its initial value and its comment.
void writeDeclarations(const ProgramSymbols &symbols, TextSink &out);

} // namespace trilette
