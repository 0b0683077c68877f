#include "net/netreader.h"

#include "util/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

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
    /// The protected line that the tokens are views into.
    std::string_view text;

    /// Column (from 1) of a token of this line.
    int column(std::string_view token) const
    {
        return token.empty() ? 0 : int(token.data() - text.data()) + 1;
    }
    void warn(int atColumn, std::string message) const
    {
        if (diagnostics)
            diagnostics->add(Severity::Warning, std::string(fileName), number, atColumn,
                             std::move(message));
    }
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
        if (line.trace)
            line.trace->format("%.*s:%d: ligne ignoree : jeton %d absent\n",
                               int(line.fileName.size()), line.fileName.data(), line.number,
                               token.index + 1);
        if (line.diagnostics)
            line.diagnostics->add(Severity::Warning, std::string(line.fileName), line.number, 0,
                                  std::string("ligne ") + kind + " ignorée : il y manque le jeton "
                                      + std::to_string(token.index + 1) + " (" + token.what + ")");
        return true;
    }
    return false;
}

/// A label token with its protected blanks ('@') made blanks again, in place: the tokens are
/// views into the reader's own copy of the line, which it may rewrite once the line is traced.
std::string_view labelText(std::string_view token)
{
    char *text = const_cast<char *>(token.data());
    std::replace(text, text + token.size(), '@', ' ');
    return token;
}

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Turns a braced label into one token: each brace becomes a blank and each blank between
/// braces an '@'. Braces do not nest.
void protectBraces(char *begin, char *end)
{
    bool inside = false;
    for (char *p = begin; p != end; ++p) {
        char &c = *p;
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
    // Tokens are short: a byte loop beats a search per token.
    tokens.clear();
    const char *const begin = text.data();
    const size_t size = text.size();
    size_t start = 0;
    for (size_t pos = 0; pos < size; ++pos) {
        if (begin[pos] != delimiter)
            continue;
        if (pos > start)
            tokens.emplace_back(begin + start, pos - start);
        start = pos + 1;
    }
    tokens.push_back(start < size ? std::string_view(begin + start, size - start)
                                  : std::string_view());
    return static_cast<int>(tokens.size());
}

/// Reads a decimal integer from its leading digits: blanks, a sign, digits and an optional
/// multiplier right after them (K, M, G, T, P, E: 10^3 to 10^18); saturates at the 32-bit limits,
/// and says so in `saturated`.
int32_t readInteger(std::string_view text, bool *saturated = nullptr)
{
    // Values beyond the limit stop one past it, so that saturation shows on either sign.
    constexpr int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    constexpr int64_t beyond = limit + 1;
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
        value = std::min(value * 10 + (text[i] - '0'), beyond);
    }
    if (digits && i < text.size()) {
        static constexpr char multipliers[] = "KMGTPE";
        if (const char *m = std::strchr(multipliers, text[i]); m && *m) {
            for (auto times = m - multipliers + 1; times > 0; --times)
                value = std::min(value * 1000, beyond);
        }
    }
    const int64_t top = negative ? limit : limit - 1;
    if (saturated)
        *saturated = value > top;
    value = std::min(value, top);
    return static_cast<int32_t>(negative ? -value : value);
}

/// Reads a marking or a weight, with a warning where it stops at the 32-bit limit.
int32_t readCount(std::string_view token, std::string_view whole, const char *what,
                  const LineRef &line)
{
    bool saturated = false;
    const int32_t value = readInteger(token, &saturated);
    if (saturated)
        line.warn(line.column(whole),
                  std::string(what) + " « " + std::string(whole)
                      + " » hors des limites d'un entier de 32 bits : ramené à "
                      + std::to_string(value));
    return value;
}

/// The kind of an arc from its weight token, and the weight text after Tina's prefix.
ArcKind arcKind(std::string_view &weight)
{
    if (weight.size() < 2 || (weight[0] != '?' && weight[0] != '!'))
        return ArcKind::Normal;
    const bool test = weight[0] == '?';
    const bool inhibitor = weight[1] == '-';
    weight.remove_prefix(inhibitor ? 2 : 1);
    if (test)
        return inhibitor ? ArcKind::Inhibitor : ArcKind::Test;
    return inhibitor ? ArcKind::StopwatchInhibitor : ArcKind::Stopwatch;
}

bool isAnchor(std::string_view token)
{
    for (const char *anchor : {"n", "s", "e", "w", "ne", "nw", "se", "sw", "c"}) {
        if (token == anchor)
            return true;
    }
    return false;
}

/// One bound of a time interval: digits, after a '-' that marks an open end (a scan-based
/// program cannot tell open from closed, so it is read as closed). False when it is not one.
bool readBound(std::string_view token, int32_t &value)
{
    if (!token.empty() && token[0] == '-')
        token.remove_prefix(1);
    if (token.empty() || token.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    bool saturated = false;
    value = readInteger(token, &saturated);
    return !saturated;
}

/// Reads the time interval of a transition line: "t X Y NAME EFT LFT ANCHOR ..." or, with an
/// anchor after the name, "t X Y NAME ANCHOR EFT LFT ANCHOR ...". LFT "w" is infinity.
void readInterval(const Tokens &tokens, Transition &transition, const LineRef &line)
{
    const size_t first = tokens.size() > 4 && isAnchor(tokens[4]) ? 5 : 4;
    if (tokens.size() <= first + 1 || tokens[first].empty() || tokens[first + 1].empty())
        return;
    const std::string_view eft = tokens[first], lft = tokens[first + 1];
    TimeInterval interval;
    const bool infinite = lft == "w" || lft == "-w";
    if (!readBound(eft, interval.earliest) || (!infinite && !readBound(lft, interval.latest))
        || (!infinite && interval.latest < interval.earliest)) {
        line.warn(line.column(eft),
                  "intervalle de temps « " + std::string(eft) + " " + std::string(lft)
                      + " » invalide : ignoré");
        return;
    }
    transition.interval = interval;
}

/// Handles a place line; false when the line lacks a token and is skipped.
bool addPlace(Net &net, const Tokens &tokens, const LineRef &line)
{
    if (skipIfMissing(tokens, "de place", {{3, "le nom"}, {4, "le marquage"}}, line))
        return false;
    Place &place = net.appendPlace(tokens[3]);
    place.line = line.number;
    place.marking = readCount(tokens[4], tokens[4], "marquage", line);
    if (tokens.size() < 7 || tokens[6].empty())
        return true;
    place.labelColumn = line.column(tokens[6]);

    std::string_view content = labelText(tokens[6]);
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
    transition.line = line.number;
    if (TextSink *trace = line.trace) {
        for (size_t n = 0; n < tokens.size(); ++n) {
            // An absent token prints as C prints a null text.
            const std::string_view token = tokens[n].empty() ? "(null)" : tokens[n];
            trace->format("jetons (%d)  (%.*s]\n", static_cast<int>(n + 1), int(token.size()),
                          token.data());
        }
    }
    readInterval(tokens, transition, line);
    if (tokens.size() != 10 || tokens[8].empty())
        return true;

    const std::string_view label = labelText(tokens[8]);
    std::string_view content = label;
    content.remove_prefix(std::min(content.find_first_not_of(" ["), content.size()));
    const int contentColumn = line.column(tokens[8]) + int(label.size() - content.size());
    transition.predicateColumn = contentColumn;
    size_t semicolon = content.find(';');
    if (semicolon == std::string_view::npos) {
        transition.predicate = net.store(content.substr(0, content.find(']')));
        return true;
    }
    transition.predicate = net.store(content.substr(0, semicolon));
    transition.actionColumn = contentColumn + int(semicolon) + 1;
    std::string_view actions = content.substr(semicolon + 1);
    transition.actionText = net.store(actions.substr(0, actions.find(']')));
    return true;
}

/// Handles an arc line: attaches it to the transition that one of its ends names; false when
/// the line lacks a token and is skipped.
bool addArc(Net &net, const Tokens &tokens, const LineRef &line)
{
    TextSink *trace = line.trace;
    const bool shortForm = tokens.size() == 5;
    const int sourceIndex = 1;
    const int targetIndex = shortForm ? 2 : 4;
    const int weightIndex = shortForm ? 3 : 7;
    if (skipIfMissing(tokens, "d'arc",
                      {{sourceIndex, "l'origine"},
                       {targetIndex, "la destination"},
                       {weightIndex, "le poids"}},
                      line))
        return false;

    Transition *from = net.findTransition(tokens[sourceIndex]);
    Transition *to = net.findTransition(tokens[targetIndex]);
    // An arc between two transitions gives the first priority over the second; an arc whose
    // ends both name one transition keeps the older reading, an output arc of its source.
    const bool priority = from && to && from != to;
    const bool output = from && !priority;
    Transition *transition = from ? from : to;
    if (trace) {
        const std::string_view kind = tokens[0], source = tokens[sourceIndex],
                               target = tokens[targetIndex], amount = tokens[weightIndex];
#define TRILETTE_ARC_TEXTS                                                                         \
    int(kind.size()), kind.data(), int(source.size()), source.data(), int(target.size()),          \
        target.data(), int(amount.size()), amount.data()
        trace->format("arc [%.*s %.*s %.*s %.*s]\n", TRILETTE_ARC_TEXTS);
        if (priority)
            trace->format("arc de priorite [%.*s %.*s %.*s %.*s]\n", TRILETTE_ARC_TEXTS);
        else if (output)
            trace->format("arc sortant [%.*s %.*s %.*s %.*s]\n", TRILETTE_ARC_TEXTS);
        else if (transition)
            trace->format("arc entrant [%.*s %.*s %.*s %.*s]\n", TRILETTE_ARC_TEXTS);
#undef TRILETTE_ARC_TEXTS
    }
    if (!transition) {
        net.addDroppedArc(tokens[sourceIndex], tokens[targetIndex], line.number);
        return true;
    }
    if (priority) {
        net.addPriority(*from, *to, line.number);
        return true;
    }
    std::string_view weight = tokens[weightIndex];
    const ArcKind kind = arcKind(weight);
    const int32_t amount = readCount(weight, tokens[weightIndex], "poids", line);
    if (output) {
        ArcRef &arc = net.prependOutput(*transition, tokens[targetIndex], amount);
        arc.line = line.number;
        if (kind != ArcKind::Normal)
            line.warn(line.column(tokens[weightIndex]),
                      "préfixe de « " + std::string(tokens[weightIndex])
                          + " » ignoré : un arc d'une transition vers une place est toujours "
                            "normal");
    } else {
        ArcRef &arc = net.prependInput(*transition, tokens[sourceIndex], amount);
        arc.line = line.number;
        arc.kind = kind;
    }
    return true;
}

/// Reads lines one at a time from a buffer of its own, which it rewrites in place: brace
/// protection, then the labels' blanks. Records keep copies of what they need.
class LineReader
{
public:
    LineReader(std::string_view fileName, Net &net, TextSink *trace, Diagnostics *diagnostics)
        : net_(net)
        , where_ {fileName, 0, trace, diagnostics, {}}
    { }

    /// Handles one line (without its line feed); false at the end line, which ends reading.
    bool line(char *begin, char *end)
    {
        ++where_.number;
        if (begin != end && *begin == 'h') {
            endLineSeen_ = true;
            return false;
        }
        if (end != begin && end[-1] == '\r')
            --end;
        if (begin == end)
            return true;
        // Every text of a line is handled as a C string would be: it ends at a NUL byte.
        if (void *nul = std::memchr(begin, '\0', size_t(end - begin)))
            end = static_cast<char *>(nul);
        if (std::memchr(begin, '{', size_t(end - begin))
            || std::memchr(begin, '}', size_t(end - begin)))
            protectBraces(begin, end);
        const std::string_view text(begin, size_t(end - begin));
        where_.text = text;
        const int count = splitString(text, ' ', tokens_);
        TextSink *trace = where_.trace;
        switch (text.empty() ? '\0' : text[0]) {
        case 'p':
            if (trace)
                trace->format("place (%d jetons)      \t[%.*s]\n", count, int(text.size()),
                              text.data());
            addPlace(net_, tokens_, where_);
            break;
        case 't':
            if (trace)
                trace->format("transition (%d jetons) \t[%.*s]\n", count, int(text.size()),
                              text.data());
            addTransition(net_, tokens_, where_);
            break;
        case 'e':
            if (trace)
                trace->format("arc (%d jetons)        \t[%.*s]\n", count, int(text.size()),
                              text.data());
            addArc(net_, tokens_, where_);
            break;
        default:
            if (trace)
                trace->format("inconnu (%d jetons)    \t[%.*s]\n", count, int(text.size()),
                              text.data());
            break;
        }
        return true;
    }

    /// What the whole file says once read: no end line, nothing in it.
    void finish()
    {
        net_.resolveArcPlaces();
        if (Diagnostics *diagnostics = where_.diagnostics) {
            const std::string file(where_.fileName);
            if (!endLineSeen_)
                diagnostics->add(Severity::Warning, file, 0, 0,
                                 "pas de ligne de fin « h » : le fichier est peut-être tronqué");
            if (!net_.firstPlace() && !net_.firstTransition())
                diagnostics->add(Severity::Warning, file, 0, 0, "aucune place ni transition");
        }
        if (where_.trace)
            where_.trace->flush();
    }

private:
    Net &net_;
    LineRef where_;
    Tokens tokens_;
    bool endLineSeen_ = false;
};

/// Hands each complete line of `buffer[0, size)` to `reader`; returns the offset of the first
/// byte not handled (the start of an incomplete last line), or `size` when reading must end.
size_t handleLines(LineReader &reader, char *buffer, size_t size, bool &ended)
{
    size_t start = 0;
    while (start < size) {
        char *begin = buffer + start;
        char *feed = static_cast<char *>(std::memchr(begin, '\n', size - start));
        if (!feed)
            break;
        if (!reader.line(begin, feed)) {
            ended = true;
            return size;
        }
        start = size_t(feed - buffer) + 1;
    }
    return start;
}

} // namespace

ReadResult readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace,
                       Diagnostics *diagnostics)
{
    try {
        std::string copy(text);
        LineReader reader(fileName, net, trace, diagnostics);
        bool ended = false;
        const size_t rest = handleLines(reader, copy.data(), copy.size(), ended);
        if (!ended && rest < copy.size())
            reader.line(copy.data() + rest, copy.data() + copy.size());
        reader.finish();
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    return ReadResult::Done;
}

ReadResult readNetFile(const std::string &path, Net &net, TextSink *trace, Diagnostics *diagnostics)
{
    auto notOpened = [&](const std::error_code &error) {
        if (trace) {
            trace->format(" erreur fichier <%s> non ouvert\n", path.c_str());
            trace->flush();
        }
        if (diagnostics)
            diagnostics->add(Severity::Error, path, 0, 0,
                             "impossible de lire le fichier réseau : " + systemReason(error));
        return ReadResult::NotOpened;
    };
    if (isDirectory(path))
        return notOpened(std::make_error_code(std::errc::is_a_directory));
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(openFile(path, "rb"), &std::fclose);
    if (!file)
        return notOpened(std::error_code(errno ? errno : ENOENT, std::generic_category()));

    try {
        // The file is read in blocks, so that a net never sits whole in memory beside its
        // records; a line longer than a block makes the block grow.
        size_t capacity = size_t(4) << 20, filled = 0;
        std::unique_ptr<char[]> buffer(new char[capacity]);
        LineReader reader(path, net, trace, diagnostics);
        bool ended = false;
        for (;;) {
            if (filled == capacity) {
                std::unique_ptr<char[]> larger(new char[2 * capacity]);
                std::memcpy(larger.get(), buffer.get(), filled);
                buffer = std::move(larger);
                capacity *= 2;
            }
            const size_t got = std::fread(buffer.get() + filled, 1, capacity - filled, file.get());
            if (got == 0) {
                if (std::ferror(file.get()))
                    return notOpened(std::error_code(errno ? errno : EIO, std::generic_category()));
                if (filled > 0)
                    reader.line(buffer.get(), buffer.get() + filled);
                break;
            }
            // A file that holds a NUL byte is no text file (an image, say).
            if (std::memchr(buffer.get() + filled, '\0', got)) {
                if (trace)
                    trace->flush();
                if (diagnostics)
                    diagnostics->add(Severity::Error, path, 0, 0,
                                     "ce n'est pas un fichier texte (il contient un octet nul) : "
                                     "rien n'est écrit");
                return ReadResult::NotText;
            }
            filled += got;
            const size_t rest = handleLines(reader, buffer.get(), filled, ended);
            if (ended)
                break;
            std::memmove(buffer.get(), buffer.get() + rest, filled - rest);
            filled -= rest;
        }
        reader.finish();
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    return ReadResult::Done;
}

} // namespace trilette
