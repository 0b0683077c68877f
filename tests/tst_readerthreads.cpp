// The reader's two threads, with no Qt in the process, so that ThreadSanitizer sees every thread
// there is: a file is read in blocks and cut into lines on a second thread, and must read
// exactly as the same text given whole, whatever falls on the blocks' edges. Exit status 0 when
// every text reads alike, 1 with the texts that do not.

#include "net/netreader.h"
#include "tests/netdump.h"
#include "util/diagnostic.h"
#include "util/textsink.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace trilette;

namespace {

std::string all(const Diagnostics &diagnostics)
{
    std::string text;
    for (const Diagnostic &d : diagnostics.all())
        text += d.format() + '\n';
    return text;
}

/// What differs between reading `text` from a file at `path` and reading it whole; empty when
/// nothing does.
std::string difference(const std::string &text, const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()
        || std::fclose(file) != 0)
        return "le fichier ne s'écrit pas";
    Net fromFile, fromText;
    TextSink fileTraces, textTraces;
    Diagnostics fileDiagnostics, textDiagnostics;
    if (readNetFile(path, fromFile, &fileTraces, &fileDiagnostics) != ReadResult::Done)
        return "le fichier ne se lit pas";
    readNetText(text, path, fromText, &textTraces, &textDiagnostics);
    if (dumpNet(fromFile) != dumpNet(fromText))
        return "le réseau";
    if (fileTraces.text() != textTraces.text())
        return "les traces";
    if (all(fileDiagnostics) != all(textDiagnostics))
        return "les diagnostics";
    return std::string();
}

} // namespace

int main()
{
    std::string lines;
    for (int i = 0; i < 60000; ++i) {
        const std::string n = std::to_string(i);
        lines += "p 1 2 P" + n + " " + n + " n {[Sortie" + n + ", x]} e\r\n";
        lines += "t 1 2 T" + n + " c 0 w n {[a" + n + " > 2;act]} e\n\n";
        lines += "e P" + n + " T" + n + " " + (i % 7 ? "1" : "?-2") + " n\n";
        lines += "e T" + n + " P" + std::to_string(i + 1) + " 1 n\n";
        lines += i % 1000 ? "" : "e Nulle Autre 1 n\np\n";
    }
    const std::vector<std::pair<const char *, std::string>> texts = {
        {"lines across the blocks", lines + "h\n"},
        {"no end line, no last line feed", lines + "p 1 2 Q 1 n"},
        {"end line in the middle", lines + "h\np 1 2 Apres 1 n\n" + lines},
        {"a line of 3 MB among them",
         lines + "t 1 2 Longue c 0 w n {[" + std::string(3 << 20, 'b') + "]} e\n" + lines},
        {"only blank lines", std::string(3 << 20, '\n')},
    };
    const std::filesystem::path path = std::filesystem::temp_directory_path()
        / ("tst_readerthreads-"
           + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".ndr");
    int status = 0;
    for (const auto &[name, text] : texts) {
        const std::string differs = difference(text, path.string());
        if (!differs.empty()) {
            std::fprintf(stderr, "ÉCHEC : %s : lu du fichier, %s diffère\n", name, differs.c_str());
            status = 1;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (status == 0)
        std::printf("Les %zu textes se lisent du fichier comme en mémoire.\n", texts.size());
    return status;
}
