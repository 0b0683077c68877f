#include "codegen/declarations.h"

#include "util/utf8.h"

namespace trilette {

std::string commentText(std::string_view text)
{
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        // A UTF-8 sequence stays; a byte that is none does not.
        const size_t length = c < 0x80 ? 1 : utf8Length(text, i);
        if (length > 1) {
            safe.append(text.substr(i, length));
            i += length;
            continue;
        }
        if (c < 0x20 || c >= 0x7F)
            safe += '?';
        else if ((c == '*' && next == ')') || (c == '(' && next == '*'))
            safe.append(1, char(c)).append(1, ' ');
        else
            safe += char(c);
        ++i;
    }
    return safe;
}

void writeDeclarations(const ProgramSymbols &symbols, TextSink &out)
{
    for (const VariableSection &section : variableSections) {
        const std::vector<Variable> &variables = (symbols.*section.variables)();
        if (variables.empty())
            continue;
        out.put(section.stKeyword);
        out.put("\n");
        for (const Variable &v : variables) {
            out.put("    ");
            out.put(v.identifier);
            out.put(" : ");
            out.put(typeName(v.type));
            if (v.hasInitial) {
                out.put(" := ");
                out.putInt(v.initial);
            }
            out.put(";");
            if (!v.comment.empty()) {
                out.put(" (* ");
                out.put(commentText(v.comment));
                out.put(" *)");
            }
            out.put("\n");
        }
        out.put("END_VAR\n");
    }
}

} // namespace trilette
