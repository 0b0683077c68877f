#include "net/netreader.h"

#include "util/fileio.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace trilette {

namespace {

/// The tokens of one line: views into the line. An absent token is an empty view (a present
/// token is never empty). With them, where the line opened its braces.
class Tokens
{
public:
    Tokens(const std::string_view *first, size_t count, const uint32_t *braces = nullptr,
           size_t braceCount = 0)
        : first_(first)
        , count_(count)
        , braces_(braces)
        , braceCount_(braceCount)
    { }
    size_t size() const { return count_; }
    std::string_view operator[](size_t index) const { return first_[index]; }
    /// Offsets in the line of its '{', in line order.
    size_t braceCount() const { return braceCount_; }
    uint32_t brace(size_t index) const { return braces_[index]; }

private:
    const std::string_view *first_;
    size_t count_;
    const uint32_t *braces_;
    size_t braceCount_;
};

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
/// braces an '@'. Braces do not nest. The offset of each '{' is appended to `braces`.
void protectBraces(char *begin, char *end, std::vector<uint32_t> &braces)
{
    bool inside = false;
    for (char *p = begin; p != end; ++p) {
        char &c = *p;
        if (c == '{') {
            braces.push_back(uint32_t(p - begin));
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

/// Splits `text` at `delimiter`, appends the pieces to `tokens` and returns their count. Empty
/// pieces are dropped, except that the rest after the last delimiter always counts, as an absent
/// token when empty.
int splitString(std::string_view text, char delimiter, std::vector<std::string_view> &tokens)
{
    // Tokens are short: a byte loop beats a search per token.
    const size_t before = tokens.size();
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
    return static_cast<int>(tokens.size() - before);
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

/// The nodes that the arcs named last, found again without searching the net's index: arcs
/// mostly join nodes declared a few lines before them, and the index of a large net is too large
/// for the processor's caches. An entry is what Net::findNode said of its name, kept true as
/// nodes are added.
class NodeCache
{
public:
    Net::Node find(const Net &net, std::string_view name)
    {
        if (name.empty())
            return {};
        const uint32_t hash = ExactNames::hash(name);
        Entry &entry = entries_[hash & (size - 1)];
        if (entry.used && entry.hash == hash && entry.name() == name)
            return entry.node;
        entry.node = net.findNode(name);
        entry.hash = hash;
        entry.used = entry.node.transition || entry.node.place;
        return entry.node;
    }

    /// Keeps the entry of a name true when a node of that name is added.
    void added(const Transition &transition) { update(transition.name, &transition, nullptr); }
    void added(const Place &place) { update(place.name, nullptr, &place); }

private:
    static constexpr size_t size = 4096;
    struct Entry
    {
        Net::Node node;
        uint32_t hash = 0;
        bool used = false;
        Text name() const { return node.transition ? node.transition->name : node.place->name; }
    };

    void update(Text name, const Transition *transition, const Place *place)
    {
        if (name.empty())
            return;
        const uint32_t hash = ExactNames::hash(name);
        Entry &entry = entries_[hash & (size - 1)];
        if (!entry.used || entry.hash != hash || entry.name() != name)
            return;
        // The entry knew no node of this kind: the new one is the first.
        if (transition && !entry.node.transition)
            entry.node.transition = transition;
        if (place && !entry.node.place)
            entry.node.place = place;
    }

    std::unique_ptr<Entry[]> entries_ = std::make_unique<Entry[]>(size);
};

/// Handles a place line; false when the line lacks a token and is skipped.
bool addPlace(Net &net, NodeCache &nodes, const Tokens &tokens, const LineRef &line)
{
    if (skipIfMissing(tokens, "de place", {{3, "le nom"}, {4, "le marquage"}}, line))
        return false;
    Place &place = net.appendPlace(tokens[3]);
    nodes.added(place);
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

/// The label token of a transition line (empty for none): the first braced group after the
/// name; without one, the token that the editor's shape of the line gives, "t X Y NAME [ANCHOR]
/// EFT LFT ANCHOR LABEL ANCHOR", or token 8 of a line of ten. A label that neither finds is not
/// read: `unread` gets its column.
std::string_view transitionLabel(const Tokens &tokens, const LineRef &line, int32_t &unread)
{
    const size_t nameEnd = size_t(tokens[3].data() + tokens[3].size() - line.text.data());
    size_t group = 0;
    while (group < tokens.braceCount() && tokens.brace(group) < nameEnd)
        ++group;
    if (group < tokens.braceCount()) {
        // The group's token starts right after its brace; an empty group has none.
        const char *start = line.text.data() + tokens.brace(group) + 1;
        std::string_view label;
        for (size_t n = 4; n < tokens.size() && label.empty(); ++n)
            if (tokens[n].data() == start)
                label = tokens[n];
        if (group + 1 < tokens.braceCount())
            unread = int32_t(tokens.brace(group + 1)) + 1;
        return label;
    }
    // Blanks after the last token leave an absent token, which is no part of the shape.
    size_t count = tokens.size();
    while (count > 0 && tokens[count - 1].empty())
        --count;
    const size_t first = count > 4 && isAnchor(tokens[4]) ? 5 : 4;
    if (count <= first + 3)
        return {};
    if (count <= first + 5)
        return tokens[first + 3];
    if (count == 10)
        return tokens[8];
    unread = line.column(tokens[first + 3]);
    return {};
}

/// Handles a transition line; false when the line lacks a token and is skipped.
bool addTransition(Net &net, NodeCache &nodes, const Tokens &tokens, const LineRef &line)
{
    if (skipIfMissing(tokens, "de transition", {{3, "le nom"}}, line))
        return false;
    Transition &transition = net.appendTransition(tokens[3]);
    nodes.added(transition);
    transition.line = line.number;
    if (TextSink *trace = line.trace) {
        for (size_t n = 0; n < tokens.size(); ++n) {
            // An absent token prints as C prints a null text.
            const std::string_view token = tokens[n].empty() ? "(null)" : tokens[n];
            trace->put("jetons (");
            trace->putInt(static_cast<long long>(n + 1));
            trace->put(")  (");
            trace->put(token);
            trace->put("]\n");
        }
    }
    readInterval(tokens, transition, line);
    const std::string_view token = transitionLabel(tokens, line, transition.unreadLabelColumn);
    if (token.empty())
        return true;

    const std::string_view label = labelText(token);
    std::string_view content = label;
    content.remove_prefix(std::min(content.find_first_not_of(" ["), content.size()));
    const int contentColumn = line.column(token) + int(label.size() - content.size());
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
bool addArc(Net &net, NodeCache &nodes, const Tokens &tokens, const LineRef &line)
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

    // One search of each end finds the transition and the place it may name.
    const Net::Node source = nodes.find(net, tokens[sourceIndex]);
    const Net::Node target = nodes.find(net, tokens[targetIndex]);
    // The net is this reader's to change: its transitions are taken by position.
    Transition *from = source.transition ? &net.transition(source.transition->index) : nullptr;
    Transition *to = target.transition ? &net.transition(target.transition->index) : nullptr;
    // An arc between two transitions gives the first priority over the second; an arc whose
    // ends both name one transition keeps the older reading, an output arc of its source.
    const bool priority = from && to && from != to;
    const bool output = from && !priority;
    Transition *transition = from ? from : to;
    if (trace) {
        // "arc [e SOURCE TARGET WEIGHT]", then the same after what the arc became.
        auto arcLine = [&](std::string_view head) {
            trace->put(head);
            trace->put(tokens[0]);
            trace->put(' ');
            trace->put(tokens[sourceIndex]);
            trace->put(' ');
            trace->put(tokens[targetIndex]);
            trace->put(' ');
            trace->put(tokens[weightIndex]);
            trace->put("]\n");
        };
        arcLine("arc [");
        if (priority)
            arcLine("arc de priorite [");
        else if (output)
            arcLine("arc sortant [");
        else if (transition)
            arcLine("arc entrant [");
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
        ArcRef &arc = net.prependOutput(*transition, tokens[targetIndex], amount, target.place);
        arc.line = line.number;
        if (kind != ArcKind::Normal)
            line.warn(line.column(tokens[weightIndex]),
                      "préfixe de « " + std::string(tokens[weightIndex])
                          + " » ignoré : un arc d'une transition vers une place est toujours "
                            "normal");
    } else {
        ArcRef &arc = net.prependInput(*transition, tokens[sourceIndex], amount, source.place);
        arc.line = line.number;
        arc.kind = kind;
    }
    return true;
}

/// Cuts lines out of the text they are read into, rewriting each in place (brace protection;
/// the labels' blanks come back later, in the handlers) and splitting it into tokens, which are
/// views into that text.
class LineCutter
{
public:
    enum class Cut {
        /// A line to handle: its tokens were appended.
        Line,
        /// An empty line, counted and skipped.
        Empty,
        /// The end line "h": reading ends.
        End,
    };

    /// Cuts one line (without its line feed); the line's text is `text`, its number `number()`.
    Cut cut(char *begin, char *end, std::vector<std::string_view> &tokens,
            std::vector<uint32_t> &braces, std::string_view &text, int &count)
    {
        ++number_;
        if (begin != end && *begin == 'h')
            return Cut::End;
        if (end != begin && end[-1] == '\r')
            --end;
        if (begin == end)
            return Cut::Empty;
        // Every text of a line is handled as a C string would be: it ends at a NUL byte.
        if (void *nul = std::memchr(begin, '\0', size_t(end - begin)))
            end = static_cast<char *>(nul);
        if (std::memchr(begin, '{', size_t(end - begin))
            || std::memchr(begin, '}', size_t(end - begin)))
            protectBraces(begin, end, braces);
        text = std::string_view(begin, size_t(end - begin));
        count = splitString(text, ' ', tokens);
        return Cut::Line;
    }

    int number() const { return number_; }

private:
    int number_ = 0;
};

/// Builds the net from cut lines, one after the other, with their traces and diagnostics.
class LineHandler
{
public:
    LineHandler(std::string_view fileName, Net &net, TextSink *trace, Diagnostics *diagnostics)
        : net_(net)
        , where_ {fileName, 0, trace, diagnostics, {}}
    { }

    void handle(int number, std::string_view text, Tokens tokens)
    {
        where_.number = number;
        where_.text = text;
        const int count = int(tokens.size());
        TextSink *trace = where_.trace;
        const char kind = text.empty() ? '\0' : text[0];
        if (trace) {
            // "place (N jetons)      \t[LINE]", the kind's word padded to one width.
            trace->put(kind == 'p'       ? "place ("
                           : kind == 't' ? "transition ("
                           : kind == 'e' ? "arc ("
                                         : "inconnu (");
            trace->putInt(count);
            trace->put(kind == 'p'       ? " jetons)      \t["
                           : kind == 't' ? " jetons) \t["
                           : kind == 'e' ? " jetons)        \t["
                                         : " jetons)    \t[");
            trace->put(text);
            trace->put("]\n");
        }
        switch (kind) {
        case 'p':
            addPlace(net_, nodes_, tokens, where_);
            break;
        case 't':
            addTransition(net_, nodes_, tokens, where_);
            break;
        case 'e':
            addArc(net_, nodes_, tokens, where_);
            break;
        default:
            break;
        }
    }

    /// What the whole file says once read: no end line, nothing in it.
    void finish(bool endLineSeen)
    {
        net_.resolveArcPlaces();
        if (Diagnostics *diagnostics = where_.diagnostics) {
            const std::string file(where_.fileName);
            if (!endLineSeen)
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
    NodeCache nodes_;
    LineRef where_;
};

/// Lines cut from one block of the file, with the text they are views into, and what ends the
/// file after them.
struct LineBatch
{
    enum class End { None, EndLine, EndOfFile, NotText, ReadError, OutOfMemory };
    struct Line
    {
        int number;
        uint32_t firstToken;
        uint32_t firstBrace;
        std::string_view text;
    };

    std::unique_ptr<char[]> text;
    size_t capacity = 0;
    std::vector<Line> lines;
    /// The tokens of every line, end to end; a line's run ends where the next line's starts.
    std::vector<std::string_view> tokens;
    /// The offsets of the braces of every line, end to end, as the tokens.
    std::vector<uint32_t> braces;
    End end = End::None;
    /// Bytes of the file read when the batch was filled.
    uint64_t bytesRead = 0;
    /// The error of a failed read.
    int error = 0;

    Tokens tokensOf(size_t line) const
    {
        const size_t first = lines[line].firstToken;
        const size_t last = line + 1 < lines.size() ? lines[line + 1].firstToken : tokens.size();
        const size_t firstBrace = lines[line].firstBrace;
        const size_t lastBrace
            = line + 1 < lines.size() ? lines[line + 1].firstBrace : braces.size();
        return Tokens(tokens.data() + first, last - first, braces.data() + firstBrace,
                      lastBrace - firstBrace);
    }
};

/// Reads a file block after block into batches of cut lines. A line longer than a block makes the
/// block grow; the start of a line that a block cuts in two waits for the next block.
class BatchReader
{
public:
    static constexpr size_t blockSize = size_t(1) << 20;

    explicit BatchReader(std::FILE *file)
        : file_(file)
    { }

    /// Fills `batch` with the lines of the next block; false once the file has ended (the batch
    /// then says how), after which it must not be called again.
    bool next(LineBatch &batch)
    {
        batch.lines.clear();
        batch.tokens.clear();
        batch.braces.clear();
        batch.end = LineBatch::End::None;
        batch.bytesRead = bytesRead_;
        try {
            return fill(batch);
        } catch (const std::bad_alloc &) {
            batch.lines.clear();
            batch.end = LineBatch::End::OutOfMemory;
            return false;
        }
    }

private:
    bool fill(LineBatch &batch)
    {
        if (batch.capacity < std::max(blockSize, 2 * carry_.size())) {
            batch.capacity = std::max(blockSize, 2 * carry_.size());
            batch.text.reset(new char[batch.capacity]);
        }
        size_t filled = carry_.size();
        if (filled > 0)
            std::memcpy(batch.text.get(), carry_.data(), filled);
        carry_.clear();
        for (;;) {
            if (filled == batch.capacity) {
                std::unique_ptr<char[]> larger(new char[2 * batch.capacity]);
                std::memcpy(larger.get(), batch.text.get(), filled);
                batch.text = std::move(larger);
                batch.capacity *= 2;
            }
            errno = 0;
            const size_t got
                = std::fread(batch.text.get() + filled, 1, batch.capacity - filled, file_);
            if (got == 0) {
                if (std::ferror(file_)) {
                    batch.error = errno ? errno : EIO;
                    batch.end = LineBatch::End::ReadError;
                    return false;
                }
                batch.end = LineBatch::End::EndOfFile;
                if (filled > 0 && cutLine(batch, batch.text.get(), batch.text.get() + filled))
                    batch.end = LineBatch::End::EndLine;
                return false;
            }
            // A file that holds a NUL byte is no text file (an image, say).
            if (std::memchr(batch.text.get() + filled, '\0', got)) {
                batch.end = LineBatch::End::NotText;
                return false;
            }
            filled += got;
            bytesRead_ += got;
            batch.bytesRead = bytesRead_;
            char *const text = batch.text.get();
            size_t start = 0;
            while (char *feed
                   = static_cast<char *>(std::memchr(text + start, '\n', filled - start))) {
                if (cutLine(batch, text + start, feed)) {
                    batch.end = LineBatch::End::EndLine;
                    return false;
                }
                start = size_t(feed - text) + 1;
            }
            if (start > 0 || filled < batch.capacity) {
                carry_.assign(text + start, text + filled);
                return true;
            }
        }
    }

    /// Cuts one line into the batch; true when it is the end line.
    bool cutLine(LineBatch &batch, char *begin, char *end)
    {
        const auto firstToken = uint32_t(batch.tokens.size());
        const auto firstBrace = uint32_t(batch.braces.size());
        std::string_view text;
        int count = 0;
        switch (cutter_.cut(begin, end, batch.tokens, batch.braces, text, count)) {
        case LineCutter::Cut::End:
            return true;
        case LineCutter::Cut::Empty:
            return false;
        case LineCutter::Cut::Line:
            break;
        }
        batch.lines.push_back({cutter_.number(), firstToken, firstBrace, text});
        return false;
    }

    std::FILE *file_;
    LineCutter cutter_;
    std::vector<char> carry_;
    uint64_t bytesRead_ = 0;
};

/// Batches handed from the thread that reads and cuts lines to the thread that builds the net,
/// a few at a time, so that the text read ahead stays small. Handing over allocates nothing.
class BatchQueue
{
public:
    static constexpr size_t batchCount = 3;

    BatchQueue()
    {
        for (LineBatch &batch : batches_)
            free_[freeCount_++] = &batch;
    }

    /// A batch to fill, or null once the queue is closed.
    LineBatch *takeFree()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || freeCount_ > 0; });
        return closed_ ? nullptr : free_[--freeCount_];
    }
    void putFull(LineBatch *batch)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        full_[(firstFull_ + fullCount_++) % batchCount] = batch;
        changed_.notify_all();
    }
    /// The next filled batch, in order.
    LineBatch *takeFull()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return fullCount_ > 0; });
        LineBatch *batch = full_[firstFull_];
        firstFull_ = (firstFull_ + 1) % batchCount;
        --fullCount_;
        return batch;
    }
    void putFree(LineBatch *batch)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        free_[freeCount_++] = batch;
        changed_.notify_all();
    }
    /// Makes the reading thread stop at its next batch.
    void close()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::array<LineBatch, batchCount> batches_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<LineBatch *, batchCount> free_ {}, full_ {};
    size_t freeCount_ = 0, firstFull_ = 0, fullCount_ = 0;
    bool closed_ = false;
};

/// Reads the file's batches and hands each to `handle` in order, the reading and cutting on a
/// second thread while `handle` runs on this one (or both on this one when no thread can be had).
/// Returns how the file ended, and the error of a failed read; null when `handle` answered false
/// to stop.
template<typename Handle>
std::optional<LineBatch::End> readBatches(std::FILE *file, Handle handle, int &error)
{
    BatchReader reader(file);
    auto settle = [&](const LineBatch &batch) {
        error = batch.error;
        return batch.end;
    };
    auto queue = std::make_unique<BatchQueue>();
    std::thread thread;
    try {
        thread = std::thread([&reader, &queue] {
            while (LineBatch *batch = queue->takeFree()) {
                const bool more = reader.next(*batch);
                queue->putFull(batch);
                if (!more)
                    return;
            }
        });
    } catch (const std::system_error &) {
        LineBatch batch;
        for (bool more = true; more;) {
            more = reader.next(batch);
            if (!handle(batch))
                return std::nullopt;
        }
        return settle(batch);
    }
    // Whatever happens here, the reading thread is stopped and joined before the queue goes.
    struct Joiner
    {
        std::thread &thread;
        BatchQueue &queue;
        ~Joiner()
        {
            queue.close();
            thread.join();
        }
    } joiner {thread, *queue};
    for (;;) {
        LineBatch *batch = queue->takeFull();
        if (!handle(*batch))
            return std::nullopt;
        if (batch->end != LineBatch::End::None)
            return settle(*batch);
        queue->putFree(batch);
    }
}

} // namespace

ReadResult readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace,
                       Diagnostics *diagnostics)
{
    {
        std::string copy(text);
        LineCutter cutter;
        LineHandler handler(fileName, net, trace, diagnostics);
        std::vector<std::string_view> tokens;
        std::vector<uint32_t> braces;
        bool ended = false;
        char *const begin = copy.data(), *const end = begin + copy.size();
        for (char *start = begin; start < end && !ended;) {
            char *feed = static_cast<char *>(std::memchr(start, '\n', size_t(end - start)));
            char *stop = feed ? feed : end;
            tokens.clear();
            braces.clear();
            std::string_view line;
            int count = 0;
            switch (cutter.cut(start, stop, tokens, braces, line, count)) {
            case LineCutter::Cut::End:
                ended = true;
                break;
            case LineCutter::Cut::Empty:
                break;
            case LineCutter::Cut::Line:
                handler.handle(cutter.number(), line,
                               Tokens(tokens.data(), tokens.size(), braces.data(), braces.size()));
                break;
            }
            start = stop + 1;
        }
        handler.finish(ended);
    }
    return ReadResult::Done;
}

ReadResult readNetFile(const std::string &path, Net &net, TextSink *trace, Diagnostics *diagnostics,
                       const ReadProgress &progress)
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

    {
        // The file is read in blocks, so that a net never sits whole in memory beside its
        // records, and cut into lines on a second thread while this one builds the net.
        LineHandler handler(path, net, trace, diagnostics);
        const size_t diagnosticsBefore = diagnostics ? diagnostics->size() : 0;
        int error = 0;
        uint64_t size = 0;
        if (progress && std::fseek(file.get(), 0, SEEK_END) == 0) {
            const long end = std::ftell(file.get());
            size = end > 0 ? uint64_t(end) : 0;
            std::rewind(file.get());
        }
        const std::optional<LineBatch::End> ended = readBatches(
            file.get(),
            [&](const LineBatch &batch) {
                for (size_t i = 0; i < batch.lines.size(); ++i)
                    handler.handle(batch.lines[i].number, batch.lines[i].text, batch.tokensOf(i));
                return !progress || progress(batch.bytesRead, size);
            },
            error);
        if (!ended) {
            if (trace)
                trace->flush();
            return ReadResult::Cancelled;
        }
        const LineBatch::End end = *ended;
        switch (end) {
        case LineBatch::End::ReadError:
            return notOpened(std::error_code(error, std::generic_category()));
        case LineBatch::End::NotText:
            if (trace)
                trace->flush();
            // What the lines before the NUL byte said is moot: the file is no net.
            if (diagnostics) {
                diagnostics->keepFirst(diagnosticsBefore);
                diagnostics->add(Severity::Error, path, 0, 0,
                                 "ce n'est pas un fichier texte (il contient un octet nul) : "
                                 "rien n'est écrit");
            }
            return ReadResult::NotText;
        case LineBatch::End::OutOfMemory:
            throw std::bad_alloc();
        case LineBatch::End::None:
        case LineBatch::End::EndOfFile:
        case LineBatch::End::EndLine:
            break;
        }
        handler.finish(end == LineBatch::End::EndLine);
    }
    return ReadResult::Done;
}

} // namespace trilette
