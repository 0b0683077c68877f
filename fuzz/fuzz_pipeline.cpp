// libFuzzer target: the whole conversion of one net file, in memory: reading, the checks of both
// kinds of format, the log, the ST program, the complete program and its PLCopen XML.

#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"

#include <cstddef>
#include <cstdint>

using namespace trilette;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Net net;
    TextSink traces;
    Diagnostics diagnostics;
    readNetText(std::string_view(reinterpret_cast<const char *>(data), size), "fuzz.ndr", net,
                &traces, &diagnostics);
    checkNet(net, "fuzz.ndr", {false, false}, diagnostics);
    checkNet(net, "fuzz.ndr", {true, true}, diagnostics);
    TextSink log, program, complete, pou, xml;
    writeStructureLog(net, log);
    writeStCode(net, program, &traces);
    appendOutputBlock(net, program);
    const ProgramSymbols symbols(net, "fuzz", TimeUnit::Seconds, "fuzz.ndr", diagnostics);
    writeProgramBody(net, symbols, complete);
    writePou(net, symbols, "fuzz.ndr", pou);
    writePlcOpen(net, symbols, "fuzz.ndr", xml);
    return 0;
}
