// libFuzzer target: the whole conversion of one net file, in memory (read, log, ST program).

#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netreader.h"

#include <cstddef>
#include <cstdint>

using namespace trilette;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Net net;
    TextSink traces;
    readNetText(std::string_view(reinterpret_cast<const char *>(data), size), "fuzz.ndr", net,
                &traces);
    TextSink log, program;
    renderStructureLog(net.firstPlace(), net.firstTransition(), log);
    renderStCode(net.firstTransition(), net.firstPlace(), program, &traces);
    renderOutputBlock(net.firstPlace(), program);
    return 0;
}
