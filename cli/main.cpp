// trilette-cli: converts Tina nets to Structured Text from the command line, as the window does.

#include "run/conversion.h"
#include "util/fileio.h"
#include "util/textsink.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace trilette;

namespace {

const char usageText[]
    = "Usage : trilette-cli [options] RESEAU.ndr...\n"
      "\n"
      "Traduit chaque reseau de Petri Tina (.ndr) en programme Structured Text\n"
      "(NOM_ST.txt) et en journal de structure (NOM.log), NOM etant le nom du\n"
      "fichier sans ses quatre derniers caracteres.\n"
      "\n"
      "Options :\n"
      "  -o, --output-dir DOSSIER  ecrit les fichiers dans DOSSIER (qui doit exister) ;\n"
      "                            sinon dans TriledFiles s'il existe, sinon ici\n"
      "  -q, --quiet               n'affiche pas les traces de lecture\n"
      "  -h, --help                affiche cette aide\n"
      "      --version             affiche la version\n"
      "\n"
      "Code de sortie : 0 si tous les reseaux sont traduits, 1 si l'un d'eux a\n"
      "echoue (les autres sont traduits), 2 pour une erreur d'utilisation.\n";

int usageError(const char *what, const char *argument)
{
    std::fprintf(stderr, "trilette-cli: %s%s\n", what, argument);
    std::fputs("Essayez 'trilette-cli --help' pour plus d'informations.\n", stderr);
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

} // namespace

int main(int argc, char **argv)
{
    bool quiet = false;
    bool haveOutputDir = false;
    std::string outputDir;
    std::vector<std::string> nets;

    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
        } else if (options && (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help"))) {
            std::fputs(usageText, stdout);
            return 0;
        } else if (options && !std::strcmp(arg, "--version")) {
            std::printf("trilette-cli %s\n", TRILETTE_VERSION);
            return 0;
        } else if (options && (!std::strcmp(arg, "-q") || !std::strcmp(arg, "--quiet"))) {
            quiet = true;
        } else if (options && (!std::strcmp(arg, "-o") || !std::strcmp(arg, "--output-dir"))) {
            if (i + 1 >= argc)
                return usageError("l'option demande un dossier : ", arg);
            outputDir = argv[++i];
            haveOutputDir = true;
        } else if (options && !std::strncmp(arg, "--output-dir=", 13)) {
            outputDir = arg + 13;
            haveOutputDir = true;
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            return usageError("option inconnue : ", arg);
        } else {
            nets.emplace_back(arg);
        }
    }
    if (nets.empty())
        return usageError("aucun fichier reseau donne", "");
    if (haveOutputDir && outputDir.empty())
        return usageError("le dossier de sortie est vide", "");

    if (haveOutputDir && !isDirectory(outputDir)) {
        std::fprintf(stderr, "trilette-cli: le dossier de sortie n'existe pas : %s\n",
                     outputDir.c_str());
        return 1;
    }
    if (!haveOutputDir && isDirectory("TriledFiles"))
        outputDir = "TriledFiles";

    TextSink traces(stdout);
    int status = 0;
    // Nets whose outputs share a name (a/x.ndr and b/x.ndr) would silently replace each other's.
    std::map<std::string, std::string> netByBaseName;
    for (const std::string &net : nets) {
        ConversionJob job {net, outputDir, baseNameFor(fileNameOf(net))};
        const auto [earlier, first] = netByBaseName.emplace(job.baseName, net);
        if (!first)
            std::fprintf(stderr,
                         "trilette-cli: avertissement : %s remplace les fichiers ecrits pour %s\n",
                         net.c_str(), earlier->second.c_str());
        ConversionResult result = convertNet(job, quiet ? nullptr : &traces);
        traces.flush();
        std::fflush(stdout);
        for (const std::string &warning : result.warnings)
            std::fprintf(stderr, "trilette-cli: avertissement : %s\n", warning.c_str());
        for (const ConversionError &error : result.errors)
            std::fprintf(stderr, "trilette-cli: %s\n", error.message().c_str());
        if (!result.ok())
            status = 1;
    }
    if (std::fflush(stdout) != 0 && status == 0) {
        std::fputs("trilette-cli: erreur d'ecriture sur la sortie standard\n", stderr);
        status = 1;
    }
    return status;
}
