// trilette-gennet: writes a large, realistic .ndr net on standard output, the same for the same
// seed, for the benchmarks.

#include "bench/hostile.h"
#include "bench/netgen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using trilette::bench::NetShape;

namespace {

const char usageText[]
    = "Usage : trilette-gennet --lines N [--seed S] [--crlf PART]\n"
      "                        [--long-range PART] [--random-arcs PART]\n"
      "                        [--shape FORME] > reseau.ndr\n"
      "\n"
      "Ecrit sur la sortie standard un reseau .ndr de N lignes (ligne 'h'\n"
      "comprise), toujours le meme pour la meme graine S (1 par defaut).\n"
      "N s'ecrit aussi 1e6. PART est une part entre 0 et 1 : celle des lignes\n"
      "terminees par CR LF (0 par defaut), celle des arcs ajoutes entre modules\n"
      "(0.1, au plus 0.5), celle des arcs dont la place et la transition sont\n"
      "tirees n'importe ou dans le reseau (0 ; 1 pour un reseau aleatoire).\n"
      "\n"
      "--shape ecrit a la place un reseau hostile d'environ N lignes :\n"
      "  chain   une chaine de priorites T1 > T2 > ... > Tn\n"
      "  timers  n transitions temporisees sur une meme place\n"
      "  label   une place dont l'etiquette a N morceaux separes par des virgules\n"
      "  outputs une place au nom de N octets qui nomme N sorties\n"
      "  fanin   n transitions sur une meme place, ordonnees par des priorites\n"
      "  random  des modules et des arcs de priorite tires au hasard\n"
      "  case    des places dont les noms ne different que par la casse\n";

int usageError(const char *what, const char *argument)
{
    std::fprintf(stderr, "trilette-gennet: %s%s\n", what, argument);
    std::fputs("Essayez 'trilette-gennet --help' pour plus d'informations.\n", stderr);
    return 2;
}

bool readNumber(const char *text, double low, double high, double &value)
{
    char *end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

} // namespace

int main(int argc, char **argv)
{
    NetShape shape;
    bool haveLines = false, haveShape = false;
    trilette::bench::HostileShape hostile = trilette::bench::HostileShape::PriorityChain;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(usageText, stdout);
            return 0;
        }
        const bool known = !std::strcmp(arg, "--lines") || !std::strcmp(arg, "--seed")
            || !std::strcmp(arg, "--crlf") || !std::strcmp(arg, "--long-range")
            || !std::strcmp(arg, "--random-arcs") || !std::strcmp(arg, "--shape");
        if (!known)
            return usageError("option inconnue : ", arg);
        if (i + 1 >= argc)
            return usageError("l'option demande une valeur : ", arg);
        const char *value = argv[++i];
        double number;
        if (!std::strcmp(arg, "--shape")) {
            if (!trilette::bench::hostileShapeNamed(value, hostile))
                return usageError("forme inconnue : ", value);
            haveShape = true;
        } else if (!std::strcmp(arg, "--lines")) {
            if (!readNumber(value, 1, 1e9, number) || number != static_cast<long>(number))
                return usageError("nombre de lignes invalide : ", value);
            shape.lines = static_cast<long>(number);
            haveLines = true;
        } else if (!std::strcmp(arg, "--seed")) {
            char *end = nullptr;
            shape.seed = std::strtoull(value, &end, 10);
            if (end == value || *end != '\0')
                return usageError("graine invalide : ", value);
        } else if (!readNumber(value, 0, 1, number)) {
            return usageError("part invalide : ", value);
        } else if (!std::strcmp(arg, "--crlf")) {
            shape.crlfShare = number;
        } else if (!std::strcmp(arg, "--random-arcs")) {
            shape.randomArcShare = number;
        } else {
            shape.longRangeShare = number;
        }
    }
    if (!haveLines)
        return usageError("l'option --lines est obligatoire", "");

    const std::string text = haveShape
        ? trilette::bench::generateHostileNet(hostile, shape.lines, shape.seed)
        : trilette::bench::generateNet(shape);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()
        || std::fflush(stdout) != 0) {
        std::fputs("trilette-gennet: erreur d'ecriture sur la sortie standard\n", stderr);
        return 1;
    }
    return 0;
}
