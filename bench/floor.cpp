// trilette-floor: the least that any converter of a net file must do, the floor that
// bench/run.sh measures trilette-cli against. It reads the net in one go, splits it into lines,
// and writes as many bytes as the tool writes into NAME.log and NAME_ST.txt, each beside its
// final name and then put in its place, as the tool does:
//
//   trilette-floor -o DIR NET.ndr LOG_BYTES PROGRAM_BYTES
//
// The sizes come from one run of the tool on the same net. The bytes written are copies of the
// net itself, in large blocks, so that nothing is cheaper than real text (no zero pages, no
// holes); the log starts with the number of lines, so that the split cannot be left out.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char usageText[]
    = "Usage : trilette-floor -o DOSSIER RESEAU.ndr OCTETS_LOG OCTETS_ST\n"
      "\n"
      "Lit RESEAU.ndr d'un bloc, le coupe en lignes, puis ecrit dans DOSSIER\n"
      "NOM.log et NOM_ST.txt (NOM : le nom du fichier sans ses quatre derniers\n"
      "caracteres) de OCTETS_LOG et OCTETS_ST octets, chacun dans un fichier\n"
      ".part renomme ensuite, comme trilette-cli : le plancher du banc d'essai.\n";

int usageError(const char *what, const char *argument)
{
    std::fprintf(stderr, "trilette-floor: %s%s\n", what, argument);
    std::fputs("Essayez 'trilette-floor --help' pour plus d'informations.\n", stderr);
    return 2;
}

int failure(const char *what, const std::string &path)
{
    std::fprintf(stderr, "trilette-floor: %s %s : %s\n", what, path.c_str(), std::strerror(errno));
    return 1;
}

bool readSize(const char *text, unsigned long long &value)
{
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && text[0] != '-';
}

/// The whole file in one buffer that is never zero-filled: every page is first touched by the
/// read itself.
struct Input
{
    std::unique_ptr<char[]> data;
    size_t size = 0;
};

bool readInput(const std::string &path, Input &input)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        input.size = static_cast<size_t>(size);
        input.data.reset(new char[input.size]);
        ok = std::fread(input.data.get(), 1, input.size, file) == input.size;
    }
    const int error = errno;
    std::fclose(file);
    errno = error;
    return ok;
}

/// Counts the lines as a reader splits them: up to each '\n', and a last line without one.
size_t countLines(const Input &input)
{
    const char *p = input.data.get();
    const char *end = p + input.size;
    size_t lines = 0;
    while (p < end) {
        const void *newline = std::memchr(p, '\n', static_cast<size_t>(end - p));
        p = newline ? static_cast<const char *>(newline) + 1 : end;
        ++lines;
    }
    return lines;
}

/// Writes `head`, then copies of the input up to `size` bytes in all, into `path`.
bool writeCopies(const std::string &path, const std::string &head, const Input &input,
                 unsigned long long size)
{
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    static const char filler[] = "trilette-floor\n";
    const char *block = input.size ? input.data.get() : filler;
    const size_t blockSize = input.size ? input.size : sizeof filler - 1;
    unsigned long long left = size;
    bool ok = true;
    const size_t first = static_cast<size_t>(std::min<unsigned long long>(head.size(), left));
    ok = std::fwrite(head.data(), 1, first, file) == first;
    left -= first;
    while (ok && left > 0) {
        const size_t n = static_cast<size_t>(std::min<unsigned long long>(blockSize, left));
        ok = std::fwrite(block, 1, n, file) == n;
        left -= n;
    }
    ok = std::fflush(file) == 0 && ok;
    const int error = errno;
    ok = std::fclose(file) == 0 && ok;
    if (!ok && error)
        errno = error;
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    std::string folder;
    const char *operands[3] = {};
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "-o")) {
            if (i + 1 >= argc)
                return usageError("l'option demande un dossier : ", arg);
            folder = argv[++i];
        } else if (count < 3) {
            operands[count++] = arg;
        } else {
            return usageError("argument de trop : ", arg);
        }
    }
    if (count < 3)
        return usageError("il faut le reseau et les deux tailles", "");
    unsigned long long logBytes, programBytes;
    if (!readSize(operands[1], logBytes))
        return usageError("taille invalide : ", operands[1]);
    if (!readSize(operands[2], programBytes))
        return usageError("taille invalide : ", operands[2]);

    const std::string netPath = operands[0];
    const size_t slash = netPath.find_last_of('/');
    const std::string fileName = slash == std::string::npos ? netPath : netPath.substr(slash + 1);
    const std::string baseName
        = fileName.size() > 4 ? fileName.substr(0, fileName.size() - 4) : std::string("Ex");
    const std::string stem = folder.empty() ? baseName : folder + "/" + baseName;

    Input input;
    if (!readInput(netPath, input))
        return failure("lecture impossible de", netPath);
    const size_t lines = countLines(input);
    const std::string head = "lignes : " + std::to_string(lines) + "\n";

    const std::string log = stem + ".log";
    const std::string program = stem + "_ST.txt";
    if (!writeCopies(log + ".part", head, input, logBytes))
        return failure("ecriture impossible de", log + ".part");
    if (!writeCopies(program + ".part", std::string(), input, programBytes))
        return failure("ecriture impossible de", program + ".part");
    // Both files replace their earlier versions together, as the tool's commit does: the
    // earlier log moves aside, both new files take their names, the earlier log goes.
    const std::string aside = log + ".floor-old";
    const bool hadEarlier = std::rename(log.c_str(), aside.c_str()) == 0;
    if (!hadEarlier && errno != ENOENT)
        return failure("renommage impossible de", log);
    if (std::rename((log + ".part").c_str(), log.c_str()) != 0)
        return failure("renommage impossible vers", log);
    if (std::rename((program + ".part").c_str(), program.c_str()) != 0)
        return failure("renommage impossible vers", program);
    if (hadEarlier)
        std::remove(aside.c_str());
    return 0;
}
