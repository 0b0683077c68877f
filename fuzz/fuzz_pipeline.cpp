// libFuzzer target: the whole conversion of one net file, in memory: reading, the checks of both
// kinds of format, the log, the ST program, the complete program and its PLCopen XML. Beyond
// crashes, it stops (abort, with the property on standard error) where an output breaks one of
// these properties:
// - the PLCopen XML is well-formed: pugixml parses it, and it is UTF-8 made of XML characters;
// - every output stays within a fixed multiple of the net's size, fixed headers aside (16 for
//   the log and the statement list, 48 for the complete program, 96 for its XML);
// - a predicate that the parser accepts, written with other names as the complete program writes
//   it, and within the parentheses of a guard, is accepted again with the same names.

#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "codegen/symbols.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "st/analysis.h"
#include "st/render.h"
#include "st/words.h"

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace trilette;

namespace {

[[noreturn]] void broken(const char *property, const std::string &detail)
{
    std::fprintf(stderr, "propriété enfreinte : %s\n%s\n", property, detail.c_str());
    std::abort();
}

/// Whether `text` is UTF-8 whose every character XML 1.0 allows (no overlong form, surrogate,
/// U+FFFE, U+FFFF, code above U+10FFFF, nor control character but tab, CR and LF).
bool xmlCharacters(std::string_view text, size_t *at)
{
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        *at = i;
        uint32_t code = c;
        size_t length = 1;
        if (c >= 0xF0 && c <= 0xF4)
            code = c & 0x07, length = 4;
        else if (c >= 0xE0 && c <= 0xEF)
            code = c & 0x0F, length = 3;
        else if (c >= 0xC2 && c <= 0xDF)
            code = c & 0x1F, length = 2;
        else if (c >= 0x80)
            return false;
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)
            || code == 0xFFFE || code == 0xFFFF
            || (code < 0x20 && code != '\t' && code != '\n' && code != '\r'))
            return false;
        i += length;
    }
    return true;
}

/// The names of a predicate, in order.
std::string namesOf(const Expr &expr)
{
    std::string names;
    for (const NameRef &use : nameUses(expr))
        names += std::string(use.spelling) + ' ';
    return names;
}

void checkPredicate(std::string_view predicate)
{
    const ParseResult parsed = parseExpression(predicate);
    if (!parsed.ok || parsed.expr.isEmpty())
        return;
    // Every name longer, as the complete program renames them, and the whole in a guard's
    // parentheses.
    const std::string renamed = "("
        + renderExpr(parsed.expr,
                     [](std::string_view name) {
                         return std::optional<std::string>("R_" + std::string(name));
                     })
        + ")";
    const ParseResult again = parseExpression(renamed);
    std::string expected;
    for (const NameRef &use : nameUses(parsed.expr))
        expected += "R_" + std::string(use.spelling) + ' ';
    if (!again.ok || namesOf(again.expr) != expected)
        broken("un prédicat accepté, réécrit, est accepté avec les mêmes noms",
               std::string(predicate) + "\n=> " + renamed);
}

} // namespace

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

    pugi::xml_document document;
    const pugi::xml_parse_result parsed
        = document.load_buffer(xml.text().data(), xml.text().size());
    if (!parsed)
        broken("le PLCopen XML se lit", parsed.description());
    size_t at = 0;
    if (!xmlCharacters(xml.text(), &at))
        broken("le PLCopen XML est de l'UTF-8 fait de caractères XML",
               "octet " + std::to_string(at));

    // Bytes per byte of the net, beyond the fixed text of the formats (headers, INIT, the
    // configuration, the XML frame). The costliest line is a timed transition, "t 1 1 a 1 2"
    // (12 bytes): the complete program declares its timer, calls it four times, restarts it and
    // comments its latest time, some 360 bytes (30 per byte); PLCopen XML adds its declaration
    // as an element and escapes the body, some 45 per byte. The traces repeat each line and
    // list its tokens, one line each. A diagnostic says at most a few hundred bytes of a line
    // (names quoted at 40 bytes), and a line takes two bytes or more.
    const size_t fixed = 16384;
    const struct
    {
        const char *what;
        size_t written, limit;
    } outputs[] = {{"journal", log.text().size(), 16 * size + fixed},
                   {"programme st", program.text().size(), 16 * size + fixed},
                   {"corps du programme", complete.text().size(), 48 * size + fixed},
                   {"programme complet", pou.text().size(), 48 * size + fixed},
                   {"PLCopen XML", xml.text().size(), 96 * size + 2 * fixed},
                   {"traces", traces.text().size(), 32 * size + fixed}};
    for (const auto &output : outputs)
        if (output.written > output.limit)
            broken("chaque sortie reste dans un multiple fixe de la taille du réseau",
                   std::string(output.what) + " : " + std::to_string(output.written)
                       + " octets pour " + std::to_string(size));
    size_t said = 0;
    for (const Diagnostic &d : diagnostics.all())
        said += d.format().size();
    if (said > 256 * size + 4096)
        broken("les diagnostics restent dans un multiple fixe de la taille du réseau",
               std::to_string(said) + " octets pour " + std::to_string(size));

    for (const Transition *t = net.firstTransition(); t; t = t->next)
        checkPredicate(t->predicate);
    return 0;
}
