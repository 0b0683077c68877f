// trilette-cli: converts Tina nets to Structured Text from the command line, as the window does.

#include "run/conversion.h"
#include "util/fileio.h"
#include "util/textsink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace trilette;

namespace {

const char usageText[]
    = "Usage : trilette-cli [options] RÉSEAU.ndr...\n"
      "\n"
      "Traduit chaque réseau de Petri Tina (.ndr) en programme Structured Text\n"
      "(NOM_ST.txt) et en journal de structure (NOM.log), NOM étant le nom du\n"
      "fichier sans ses quatre derniers caractères.\n"
      "\n"
      "Options :\n"
      "  -o, --output-dir DOSSIER  écrit les fichiers dans DOSSIER (qui doit exister) ;\n"
      "                            sinon dans TriledFiles s'il existe, sinon ici\n"
      "  -q, --quiet               n'affiche pas les traces de lecture\n"
      "      --check               lit et vérifie les réseaux sans rien écrire\n"
      "      --werror              compte les avertissements comme des erreurs\n"
      "  -h, --help                affiche cette aide\n"
      "      --version             affiche la version\n"
      "\n"
      "Les options courtes se combinent (-qo DOSSIER).\n"
      "\n"
      "Chaque problème d'un réseau est écrit sur la sortie d'erreur sous la forme\n"
      "FICHIER:LIGNE:COLONNE: erreur|avertissement|note: message.\n"
      "\n"
      "Code de sortie : 0 si tous les réseaux sont traduits (ou, avec --check, sans\n"
      "erreur), 1 si l'un d'eux a échoué (les autres sont traduits), 2 pour une\n"
      "erreur d'utilisation.\n";

int usageError(const std::string &what)
{
    std::fprintf(stderr, "trilette-cli: %s\n", what.c_str());
    std::fputs("Essayez « trilette-cli --help » pour plus d'informations.\n", stderr);
    return 2;
}

std::string fileNameOf(const std::string &path)
{
#ifdef _WIN32
    size_t slash = path.find_last_of("/\\");
#else
    size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Options
{
    bool quiet = false;
    bool check = false;
    bool warningsAreErrors = false;
    bool help = false;
    bool version = false;
    bool haveOutputDir = false;
    std::string outputDir;
    std::vector<std::string> nets;
};

/// Reads the arguments as getopt_long would: short options combine (-qo DIR, -oDIR), long ones
/// take their value after '=' or as the next argument, "--" ends the options. Returns an empty
/// text, or the usage error.
std::string parseArguments(int argc, char **argv, Options &options)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.nets.push_back(arg);
            continue;
        }
        auto takeOutputDir = [&](const std::string &value) {
            options.outputDir = value;
            options.haveOutputDir = true;
        };
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            const size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            const bool hasValue = equals != std::string::npos;
            if (name == "--output-dir") {
                if (hasValue)
                    takeOutputDir(arg.substr(equals + 1));
                else if (i + 1 < argc)
                    takeOutputDir(argv[++i]);
                else
                    return "l'option --output-dir demande un dossier";
                continue;
            }
            bool *flag = name == "--quiet" ? &options.quiet
                : name == "--check"        ? &options.check
                : name == "--werror"       ? &options.warningsAreErrors
                : name == "--help"         ? &options.help
                : name == "--version"      ? &options.version
                                           : nullptr;
            if (!flag)
                return "option inconnue : " + arg;
            if (hasValue)
                return "l'option " + name + " ne prend pas de valeur";
            *flag = true;
        } else {
            for (size_t c = 1; c < arg.size(); ++c) {
                switch (arg[c]) {
                case 'q':
                    options.quiet = true;
                    continue;
                case 'h':
                    options.help = true;
                    continue;
                case 'o':
                    if (c + 1 < arg.size())
                        takeOutputDir(arg.substr(c + 1));
                    else if (i + 1 < argc)
                        takeOutputDir(argv[++i]);
                    else
                        return "l'option -o demande un dossier";
                    break;
                default:
                    return "option inconnue : -" + std::string(1, arg[c]);
                }
                break;
            }
        }
    }
    return std::string();
}

/// Checks that everything written to standard output reached it; says so on standard error
/// when it did not.
bool standardOutputWritten(const TextSink *traces)
{
    int error = traces && !traces->good() ? traces->writeError() : 0;
    errno = 0;
    if (!error && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        error = errno ? errno : EIO;
    if (!error)
        return true;
    std::fprintf(stderr, "trilette-cli: erreur d'écriture sur la sortie standard : %s\n",
                 systemReason(std::error_code(error, std::generic_category())).c_str());
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    const std::string usage = parseArguments(argc, argv, options);
    if (!usage.empty())
        return usageError(usage);
    if (options.help) {
        std::fputs(usageText, stdout);
        return standardOutputWritten(nullptr) ? 0 : 1;
    }
    if (options.version) {
        std::printf("trilette-cli %s\n", TRILETTE_VERSION);
        return standardOutputWritten(nullptr) ? 0 : 1;
    }
    if (options.nets.empty())
        return usageError("aucun fichier réseau donné");
    if (options.haveOutputDir && options.outputDir.empty())
        return usageError("le dossier de sortie est vide");

    std::string outputDir = options.outputDir;
    if (options.haveOutputDir && !isDirectory(outputDir)) {
        std::fprintf(stderr, "trilette-cli: %s : %s\n",
                     exists(outputDir) ? "la sortie n'est pas un dossier"
                                       : "le dossier de sortie n'existe pas",
                     outputDir.c_str());
        return 1;
    }
    if (!options.haveOutputDir && isDirectory("TriledFiles"))
        outputDir = "TriledFiles";

    TextSink traces(stdout);
    int status = 0;
    // Nets whose outputs share a name (a/x.ndr and b/x.ndr) would silently replace each other's.
    std::map<std::string, std::string> netByBaseName;
    for (const std::string &net : options.nets) {
        ConversionJob job {net, outputDir, baseNameFor(fileNameOf(net))};
        job.checkOnly = options.check;
        job.warningsAreErrors = options.warningsAreErrors;
        const auto [earlier, first] = netByBaseName.emplace(job.baseName, net);
        if (!first && !options.check)
            std::fprintf(stderr, "%s: avertissement: ses fichiers remplacent ceux écrits pour %s\n",
                         net.c_str(), earlier->second.c_str());
        const ConversionResult result = convertNet(job, options.quiet ? nullptr : &traces);
        traces.flush();
        for (const Diagnostic &diagnostic : result.diagnostics.all())
            std::fprintf(stderr, "%s\n", diagnostic.format().c_str());
        if (!result.ok())
            status = 1;
    }
    if (!standardOutputWritten(&traces))
        status = 1;
    return status;
}
