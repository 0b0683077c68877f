#include "codegen/pouwriter.h"

#include "codegen/stwriter.h"
#include "util/utf8.h"

namespace trilette {

namespace {

void declare(TextSink &out, const char *block, const std::vector<Variable> &variables)
{
    if (variables.empty())
        return;
    out.put(block);
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

} // namespace

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

void writePou(const Net &net, const ProgramSymbols &symbols, std::string_view netName,
              TextSink &out, const StopCheck &stop)
{
    if (stop)
        stop();
    out.put("(*-------Codage de RDP en ST d\xC3\xA9"
            "compos\xC3\xA9 en blocs FMG------------*)\n");
    out.put("(* Programme complet du r\xC3\xA9seau ");
    out.put(commentText(netName));
    out.put(", \xC3\xA9"
            "crit par Trilette ; temps des intervalles en ");
    out.put(symbols.unitName());
    out.put(" *)\n\n");

    out.put("PROGRAM ");
    out.put(symbols.programName());
    out.put("\n");
    declare(out, "VAR_INPUT", symbols.inputs());
    declare(out, "VAR_OUTPUT", symbols.outputs());
    declare(out, "VAR", symbols.locals());
    out.put("\n");
    if (stop)
        stop();
    writeProgramBody(net, symbols, out);
    out.put("END_PROGRAM\n\n");

    out.put("CONFIGURATION ");
    out.put(ConfigurationNames::configuration);
    out.put("\n    RESOURCE ");
    out.put(ConfigurationNames::resource);
    out.put(" ON PLC\n        TASK ");
    out.put(ConfigurationNames::task);
    out.put("(INTERVAL := ");
    out.put(ConfigurationNames::interval);
    out.put(", PRIORITY := 0);\n        PROGRAM ");
    out.put(ConfigurationNames::instance);
    out.put(" WITH ");
    out.put(ConfigurationNames::task);
    out.put(" : ");
    out.put(symbols.programName());
    out.put(";\n    END_RESOURCE\nEND_CONFIGURATION\n");
}

} // namespace trilette
