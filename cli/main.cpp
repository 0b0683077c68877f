// trilette-cli: converts Tina nets to Structured Text from the command line, as the window does.

#include "run/conversion.h"
#include "util/fileio.h"
#include "util/textsink.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

using namespace trilette;

namespace {

const char usageText[]
    = "Usage : trilette-cli [options] RÉSEAU.ndr...\n"
      "\n"
      "Traduit chaque réseau de Petri Tina (.ndr) en programme Structured Text\n"
      "et en journal de structure (NOM.log), NOM étant le nom du fichier sans ses\n"
      "quatre derniers caractères.\n"
      "\n"
      "Options :\n"
      "  -o, --output-dir DOSSIER  écrit les fichiers dans DOSSIER (qui doit exister) ;\n"
      "                            sinon dans TriledFiles s'il existe, sinon ici\n"
      "  -f, --format FORMAT       st : liste d'instructions NOM_ST.txt (par défaut) ;\n"
      "                            pou : programme complet NOM.st (PROGRAM et\n"
      "                            CONFIGURATION) ; plcopen : projet PLCopen XML NOM.xml\n"
      "  -t, --time-unit UNITÉ     unité des intervalles de temps du réseau pour les\n"
      "                            temporisations de pou et plcopen : ms, s (par\n"
      "                            défaut) ou min\n"
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

struct Options
{
    bool quiet = false;
    bool check = false;
    bool warningsAreErrors = false;
    bool help = false;
    bool version = false;
    bool haveOutputDir = false;
    std::string outputDir;
    OutputFormat format = OutputFormat::St;
    TimeUnit timeUnit = TimeUnit::Seconds;
    std::vector<std::string> nets;
};

/// Gives an option that takes a value (named by its long form) that value; returns an empty
/// text, or the usage error.
std::string applyValue(const std::string &name, const std::string &value, Options &options)
{
    if (name == "--output-dir") {
        options.outputDir = value;
        options.haveOutputDir = true;
    } else if (name == "--format") {
        if (value == "st")
            options.format = OutputFormat::St;
        else if (value == "pou")
            options.format = OutputFormat::Pou;
        else if (value == "plcopen")
            options.format = OutputFormat::PlcOpen;
        else
            return "format inconnu : " + value + " (st, pou ou plcopen)";
    } else if (value == "ms") {
        options.timeUnit = TimeUnit::Milliseconds;
    } else if (value == "s") {
        options.timeUnit = TimeUnit::Seconds;
    } else if (value == "min") {
        options.timeUnit = TimeUnit::Minutes;
    } else {
        return "unité de temps inconnue : " + value + " (ms, s ou min)";
    }
    return std::string();
}

/// Reads the arguments as getopt_long would: short options combine (-qo DIR, -oDIR), long ones
/// take their value after '=' or as the next argument, "--" ends the options. Returns an empty
/// text, or the usage error.
std::string parseArguments(int argc, char **argv, Options &options)
{
    static const std::pair<char, const char *> valued[]
        = {{'o', "--output-dir"}, {'f', "--format"}, {'t', "--time-unit"}};
    static const std::pair<char, const char *> flags[] = {{'q', "--quiet"},
                                                          {'h', "--help"},
                                                          {'\0', "--check"},
                                                          {'\0', "--werror"},
                                                          {'\0', "--version"}};
    auto flag = [&](const std::string &name) -> bool * {
        return name == "--quiet" ? &options.quiet
            : name == "--help"   ? &options.help
            : name == "--check"  ? &options.check
            : name == "--werror" ? &options.warningsAreErrors
                                 : &options.version;
    };
    auto demand = [](const std::string &name) {
        return "l'option " + name + " demande "
            + (name == "-o" || name == "--output-dir" ? "un dossier" : "une valeur");
    };

    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.nets.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            const size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            const bool hasValue = equals != std::string::npos;
            bool known = false;
            for (const auto &[letter, longName] : valued) {
                if (name != longName)
                    continue;
                known = true;
                if (!hasValue && i + 1 >= argc)
                    return demand(name);
                const std::string error
                    = applyValue(name, hasValue ? arg.substr(equals + 1) : argv[++i], options);
                if (!error.empty())
                    return error;
            }
            for (const auto &[letter, longName] : flags) {
                if (name != longName)
                    continue;
                known = true;
                if (hasValue)
                    return "l'option " + name + " ne prend pas de valeur";
                *flag(name) = true;
            }
            if (!known)
                return "option inconnue : " + arg;
        } else {
            for (size_t c = 1; c < arg.size(); ++c) {
                const char letter = arg[c];
                const char *longName = nullptr;
                bool takesValue = false;
                for (const auto &[l, n] : valued)
                    if (l == letter)
                        longName = n, takesValue = true;
                for (const auto &[l, n] : flags)
                    if (l == letter && l != '\0')
                        longName = n;
                if (!longName)
                    return "option inconnue : -" + std::string(1, letter);
                if (!takesValue) {
                    *flag(longName) = true;
                    continue;
                }
                // The rest of the argument is the value, or else the next argument.
                if (c + 1 == arg.size() && i + 1 >= argc)
                    return demand("-" + std::string(1, letter));
                const std::string error = applyValue(
                    longName, c + 1 < arg.size() ? arg.substr(c + 1) : argv[++i], options);
                if (!error.empty())
                    return error;
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

/// Interrupted or told to end: what the run was writing goes, then the signal ends the process
/// as it would have.
extern "C" void onEnding(int signal)
{
    removePartFilesNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

/// For each net, the reason why it is refused before anything is converted: an output of its
/// would be another net named on the command line, which would be lost (and, later on the line,
/// read in its place). Empty for the others.
std::vector<std::string> outputsOverNets(const Options &options, const std::string &outputDir)
{
    std::vector<std::string> refused(options.nets.size());
    if (options.check)
        return refused;
    for (size_t i = 0; i < options.nets.size(); ++i) {
        const std::string base = baseNameFor(fileNameOf(options.nets[i]));
        for (const std::string &output :
             {joinPath(outputDir, base + ".log"),
              joinPath(outputDir, programFileName(base, options.format))})
            for (size_t j = 0; j < options.nets.size() && refused[i].empty(); ++j)
                if (j != i && options.nets[j] != options.nets[i]
                    && samePlace(output, options.nets[j]))
                    refused[i] = "le fichier de sortie " + output + " est le réseau "
                        + options.nets[j]
                        + ", donné aussi sur la ligne de commande : rien n'est écrit";
    }
    return refused;
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

    for (int signal : {SIGINT, SIGTERM})
        std::signal(signal, onEnding);
#ifdef SIGHUP
    std::signal(SIGHUP, onEnding);
#endif

    TextSink traces(stdout);
    int status = 0;
    const std::vector<std::string> refused = outputsOverNets(options, outputDir);
    size_t index = 0;
    // Nets whose outputs share a name (a/x.ndr and b/x.ndr) would silently replace each other's.
    std::map<std::string, std::string> netByBaseName;
    for (const std::string &net : options.nets) {
        if (!refused[index++].empty()) {
            std::fprintf(stderr, "%s: erreur: %s\n", net.c_str(), refused[index - 1].c_str());
            status = 1;
            continue;
        }
        ConversionJob job {net, outputDir, baseNameFor(fileNameOf(net))};
        job.format = options.format;
        job.timeUnit = options.timeUnit;
        job.checkOnly = options.check;
        job.warningsAreErrors = options.warningsAreErrors;
        const auto [earlier, first] = netByBaseName.emplace(job.baseName, net);
        if (!first && !options.check)
            std::fprintf(stderr, "%s: avertissement: ses fichiers remplacent ceux écrits pour %s\n",
                         net.c_str(), earlier->second.c_str());
        ConversionResult result;
        try {
            result = convertNet(job, options.quiet ? nullptr : &traces);
        } catch (const std::bad_alloc &) {
            // Not even the run's own message found room.
            traces.flush();
            std::fprintf(stderr, "%s: erreur: mémoire insuffisante\n", net.c_str());
            status = 1;
            continue;
        }
        traces.flush();
        // Standard error is unbuffered: a net with many diagnostics is written in large blocks.
        TextSink errors(stderr);
        for (const Diagnostic &diagnostic : result.diagnostics.all())
            diagnostic.writeLine(errors);
        errors.flush();
        if (!result.ok())
            status = 1;
    }
    if (!standardOutputWritten(&traces))
        status = 1;
    return status;
}
