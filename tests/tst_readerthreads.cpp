// The reader's two threads, with no Qt in the process, so that ThreadSanitizer sees every thread
// there is: a file is read in blocks and cut into lines on a second thread, and must read
// exactly as the same text given whole, whatever falls on the blocks' edges. Exit status 0 when
// every text reads alike, 1 with the texts that do not.

#include "net/netreader.h"
#include "tests/netdump.h"
#include "util/diagnostic.h"
#include "util/textsink.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace trilette;

/// The net, the traces and the diagnostics of `path` read from the file, or from `text`.
static std::string reading(const std::string &path, const std::string *text)
{
    Net net;
    TextSink traces;
    Diagnostics diagnostics;
    if (text)
        readNetText(*text, path, net, &traces, &diagnostics);
    else if (readNetFile(path, net, &traces, &diagnostics) != ReadResult::Done)
        return "le fichier ne se lit pas";
    std::string all = dumpNet(net) + std::string(traces.text());
    for (const Diagnostic &d : diagnostics.all())
        all += d.format() + '\n';
    return all;
}

int main()
{
    std::string lines;
    for (int i = 0; i < 60000; ++i) {
        const std::string n = std::to_string(i), next = std::to_string(i + 1);
        lines += "p 1 2 P" + n + " " + n + " n {[Sortie" + n + ", x]} e\r\nt 1 2 T" + n
            + " c 0 w n {[a" + n + " > 2;act]} e\n\ne P" + n + " T" + n + (i % 7 ? " 1" : " ?-2")
            + " n\ne T" + n + " P" + next + " 1 n\n" + (i % 1000 ? "" : "e Nulle Autre 1 n\np\n");
    }
    const std::pair<const char *, std::string> texts[] = {
        {"lines across the blocks", lines + "h\n"},
        {"no end line, no last line feed", lines + "p 1 2 Q 1 n"},
        {"end line in the middle", lines + "h\np 1 2 Apres 1 n\n" + lines},
        {"a line of 3 MB among them",
         lines + "t 1 2 Longue c 0 w n {[" + std::string(3 << 20, 'b') + "]} e\n" + lines},
        {"only blank lines", std::string(3 << 20, '\n')},
    };
    const std::string path = std::filesystem::temp_directory_path()
        / ("tst_readerthreads-" + std::to_string(getpid()) + ".ndr");
    int status = 0;
    for (const auto &[name, text] : texts) {
        std::ofstream(path, std::ios::binary) << text;
        if (reading(path, nullptr) != reading(path, &text)) { // a file not written does not read
            std::fprintf(stderr, "ÉCHEC : %s : lu du fichier, il diffère\n", name);
            status = 1;
        }
    }
    std::remove(path.c_str());
    return status;
}
