// libFuzzer target: the whole conversion of one net file, in memory: reading, checks, the log,
// the ST program and the body of a complete program.

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
    checkNet(net, "fuzz.ndr", {true, true}, diagnostics);
    TextSink log, program, complete;
    writeStructureLog(net, log);
    writeStCode(net, program, &traces);
    appendOutputBlock(net, program);
    const ProgramSymbols symbols(net, "fuzz", TimeUnit::Seconds, "fuzz.ndr", diagnostics);
    writeProgramBody(net, symbols, complete);
    return 0;
}
