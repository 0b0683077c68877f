#include "net/netreader.h"

#include "util/fileio.h"

#include <vector>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace trilette {

namespace {

/// The tokens of one line: views into the line. An absent token is an empty view (a present
/// token is never empty).
using Tokens = std::vector<std::string_view>;

/// Where a line came from, and where the reader reports what it meets there.
struct LineRef
{
    std::string_view fileName;
    int number = 0;
    TextSink *trace = nullptr;
    Diagnostics *diagnostics = nullptr;
};

/// A token that a handler reads: its index and what it stands for, in a diagnostic.
struct Needed
{
    int index;
    const char *what;
};

/// Reports a line that a handler skips; tokens are numbered from 1 as in the token traces.
bool skipIfMissing(const Tokens &tokens, const char *kind, std::initializer_list<Needed> needed,
                   const LineRef &line)
{
    for (const Needed &token : needed) {
        if (token.index < static_cast<int>(tokens.size()) && !tokens[token.index].empty())
            continue;
        if (line.trace) {
            std::string name(line.fileName);
            line.trace->format("%s:%d: ligne ignoree : jeton %d absent\n", name.c_str(),
                               line.number, token.index + 1);
        }
        if (line.diagnostics)
            line.diagnostics->add(Severity::Warning, std::string(line.fileName), line.number, 0,
                                  std::string("ligne ") + kind + " ignorée : il y manque le jeton "
                                      + std::to_string(token.index + 1) + " (" + token.what + ")");
        return true;
    }
    return false;
}

std::string labelText(std::string_view token)
{
    std::string label(token);
    std::replace(label.begin(), label.end(), '@', ' ');
    return label;
}

/// The C-string form of a token for a "%s" field; absent tokens print as "(null)".
const char *tokenText(std::string_view token, std::string &holder)
{
    if (token.empty())
        return nullptr;
    holder.assign(token);
    return holder.c_str();
}

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Turns a braced label into one token: each brace becomes a blank and each blank between
/// braces an '@'. Braces do not nest.
void protectBraces(std::string &line)
{
    bool inside = false;
    for (char &c : line) {
        if (c == '{') {
            c = ' ';
            inside = true;
        } else if (c == '}') {
            c = ' ';
            inside = false;
        } else if (c == ' ' && inside) {
            c = '@';
        }
    }
}

/// Splits `text` at `delimiter` into `tokens` and returns their count. Empty pieces are dropped,
/// except that the rest after the last delimiter always counts, as an absent token when empty.
int splitString(std::string_view text, char delimiter, Tokens &tokens)
{
    tokens.clear();
    size_t start = 0;
    for (size_t pos; (pos = text.find(delimiter, start)) != std::string_view::npos;
         start = pos + 1) {
        if (pos > start)
            tokens.push_back(text.substr(start, pos - start));
    }
    tokens.push_back(start < text.size() ? text.substr(start) : std::string_view());
    return static_cast<int>(tokens.size());
}

/// Reads a decimal integer from its leading digits: blanks, a sign, digits and an optional
/// multiplier K (10^3) or M (10^6) right after them; saturates at the 32-bit limits.
int32_t readInteger(std::string_view text)
{
    constexpr int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    size_t i = 0;
    while (i < text.size() && isCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        value = std::min(value * 10 + (text[i] - '0'), limit);
    }
    if (digits && i < text.size()) {
        if (text[i] == 'K')
            value = std::min(value * 1000, limit);
        else if (text[i] == 'M')
            value = std::min(value * 1000000, limit);
    }
    if (negative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, limit - 1));
}

/// Handles a place line; false when the line lacks a token and is skipped.
bool addPlace(Net &net, const Tokens &tokens, const LineRef &line)
{
    if (skipIfMissing(tokens, "de place", {{3, "le nom"}, {4, "le marquage"}}, line))
        return false;
    Place &place = net.appendPlace(tokens[3]);
    place.marking = readInteger(tokens[4]);
    if (tokens.size() < 7 || tokens[6].empty())
        return true;

    std::string label = labelText(tokens[6]);
    std::string_view content(label);
    content.remove_prefix(std::min(content.find_first_not_of(" ["), content.size()));
    content = content.substr(0, content.find(']'));
    size_t last = content.find_last_not_of(' ');
    content = content.substr(0, last == std::string_view::npos ? 0 : last + 1);

    int32_t count = 1;
    size_t start = 0;
    for (;;) {
        size_t comma = content.find(',', start);
        std::string_view piece = content.substr(start, comma - start);
        if (!piece.empty())
            net.prependAction(place, piece);
        if (comma == std::string_view::npos)
            break;
        if (count < std::numeric_limits<int32_t>::max())
            ++count;
        start = comma + 1;
    }
    place.actionCount = count;
    return true;
}

/// Handles a transition line; false when the line lacks a token and is skipped.
bool addTransition(Net &net, const Tokens &tokens, const LineRef &line)
{
    if (skipIfMissing(tokens, "de transition", {{3, "le nom"}}, line))
        return false;
    Transition &transition = net.appendTransition(tokens[3]);
    if (TextSink *trace = line.trace) {
        std::string holder;
        for (size_t n = 0; n < tokens.size(); ++n)
            trace->format("jetons (%d)  (%s]\n", static_cast<int>(n + 1),
                          tokenText(tokens[n], holder));
    }
    if (tokens.size() != 10 || tokens[8].empty())
        return true;

    std::string label = labelText(tokens[8]);
    std::string_view content(label);
    content.remove_prefix(std::min(content.find_first_not_of(" ["), content.size()));
    size_t semicolon = content.find(';');
    if (semicolon == std::string_view::npos) {
        transition.predicate.assign(content.substr(0, content.find(']')));
        return true;
    }
    transition.predicate.assign(content.substr(0, semicolon));
    std::string_view actions = content.substr(semicolon + 1);
    transition.actionText.assign(actions.substr(0, actions.find(']')));
    return true;
}

/// Handles an arc line: attaches it to the transition that one of its ends names; false when
/// the line lacks a token and is skipped.
bool addArc(Net &net, const Tokens &tokens, const LineRef &line)
{
    TextSink *trace = line.trace;
    const bool shortForm = tokens.size() == 5;
    const int source = 1;
    const int target = shortForm ? 2 : 4;
    const int weight = shortForm ? 3 : 7;
    if (skipIfMissing(tokens, "d'arc",
                      {{source, "l'origine"}, {target, "la destination"}, {weight, "le poids"}},
                      line))
        return false;

    Transition *transition = net.findTransition(tokens[source]);
    const bool output = transition != nullptr;
    if (!output)
        transition = net.findTransition(tokens[target]);
    if (trace) {
        std::string kind(tokens[0]), from(tokens[source]), to(tokens[target]);
        std::string amount(tokens[weight]);
        trace->format("arc [%s %s %s %s]\n", kind.c_str(), from.c_str(), to.c_str(),
                      amount.c_str());
        if (output)
            trace->format("arc sortant [%s %s %s %s]\n", kind.c_str(), from.c_str(), to.c_str(),
                          amount.c_str());
        else if (transition)
            trace->format("arc entrant [%s %s %s %s]\n", kind.c_str(), from.c_str(), to.c_str(),
                          amount.c_str());
    }
    if (output)
        net.prependOutput(*transition, tokens[target], readInteger(tokens[weight]));
    else if (transition)
        net.prependInput(*transition, tokens[source], readInteger(tokens[weight]));
    return true;
}

} // namespace

ReadResult readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace,
                       Diagnostics *diagnostics)
{
    bool endLineSeen = false;
    try {
        std::string line;
        Tokens tokens;
        LineRef where {fileName, 0, trace, diagnostics};
        size_t pos = 0;
        while (pos < text.size()) {
            ++where.number;
            if (text[pos] == 'h') {
                endLineSeen = true;
                break;
            }
            size_t end = text.find('\n', pos);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view raw = text.substr(pos, end - pos);
            pos = end + 1;
            if (!raw.empty() && raw.back() == '\r')
                raw.remove_suffix(1);
            if (raw.empty())
                continue;
            // Every text of a line is handled as a C string would be: it ends at a NUL byte.
            if (const void *nul = std::memchr(raw.data(), '\0', raw.size()))
                raw = raw.substr(0, static_cast<const char *>(nul) - raw.data());

            line.assign(raw);
            protectBraces(line);
            int count = splitString(line, ' ', tokens);
            switch (line.empty() ? '\0' : line[0]) {
            case 'p':
                if (trace)
                    trace->format("place (%d jetons)      \t[%s]\n", count, line.c_str());
                addPlace(net, tokens, where);
                break;
            case 't':
                if (trace)
                    trace->format("transition (%d jetons) \t[%s]\n", count, line.c_str());
                addTransition(net, tokens, where);
                break;
            case 'e':
                if (trace)
                    trace->format("arc (%d jetons)        \t[%s]\n", count, line.c_str());
                addArc(net, tokens, where);
                break;
            default:
                if (trace)
                    trace->format("inconnu (%d jetons)    \t[%s]\n", count, line.c_str());
                break;
            }
        }
        if (diagnostics) {
            const std::string file(fileName);
            if (!endLineSeen)
                diagnostics->add(Severity::Warning, file, 0, 0,
                                 "pas de ligne de fin « h » : le fichier est peut-être tronqué");
            if (!net.firstPlace() && !net.firstTransition())
                diagnostics->add(Severity::Warning, file, 0, 0, "aucune place ni transition");
        }
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (trace)
        trace->flush();
    return ReadResult::Done;
}

ReadResult readNetFile(const std::string &path, Net &net, TextSink *trace, Diagnostics *diagnostics)
{
    std::string contents;
    std::error_code error;
    bool read;
    try {
        read = readWholeFile(path, contents, error);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (!read) {
        if (trace) {
            trace->format(" erreur fichier <%s> non ouvert\n", path.c_str());
            trace->flush();
        }
        if (diagnostics)
            diagnostics->add(Severity::Error, path, 0, 0,
                             "impossible de lire le fichier réseau : " + systemReason(error));
        return ReadResult::NotOpened;
    }
    if (contents.find('\0') != std::string::npos) {
        if (diagnostics)
            diagnostics->add(Severity::Error, path, 0, 0,
                             "ce n'est pas un fichier texte (il contient un octet nul) : rien "
                             "n'est écrit");
        return ReadResult::NotText;
    }
    return readNetText(contents, path, net, trace, diagnostics);
}

} // namespace trilette
