#include "codegen/pouwriter.h"

#include "codegen/declarations.h"
#include "codegen/stwriter.h"

namespace trilette {

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
    writeDeclarations(symbols, out);
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
