#include "net/netreader.h"

#include "util/fileio.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace trilette {

namespace {

/// First token among `needed` that a handler reads but the line lacks, or -1.
int firstMissing(const Tokens &tokens, std::initializer_list<int> needed)
{
    for (int index : needed) {
        if (index >= static_cast<int>(tokens.size()) || tokens[index].empty())
            return index;
    }
    return -1;
}

/// Reports a line that a handler skips; tokens are numbered from 1 as in the token traces.
bool skipIfMissing(const Tokens &tokens, std::initializer_list<int> needed, const LineRef &line,
                   TextSink *trace)
{
    int missing = firstMissing(tokens, needed);
    if (missing < 0)
        return false;
    if (trace) {
        std::string name(line.fileName);
        trace->format("%s:%d: ligne ignoree : jeton %d absent\n", name.c_str(), line.number,
                      missing + 1);
    }
    return true;
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

} // namespace

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

bool addPlace(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace)
{
    if (skipIfMissing(tokens, {3, 4}, line, trace))
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

bool addTransition(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace)
{
    if (skipIfMissing(tokens, {3}, line, trace))
        return false;
    Transition &transition = net.appendTransition(tokens[3]);
    if (trace) {
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

bool addArc(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace)
{
    const bool shortForm = tokens.size() == 5;
    const int source = 1;
    const int target = shortForm ? 2 : 4;
    const int weight = shortForm ? 3 : 7;
    if (skipIfMissing(tokens, {source, target, weight}, line, trace))
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

int readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace,
                ReadSummary *summary)
{
    ReadSummary seen;
    try {
        std::string line;
        Tokens tokens;
        LineRef where {fileName, 0};
        size_t pos = 0;
        while (pos < text.size()) {
            ++where.number;
            if (text[pos] == 'h') {
                seen.endLineSeen = true;
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
            bool used = true;
            switch (line.empty() ? '\0' : line[0]) {
            case 'p':
                if (trace)
                    trace->format("place (%d jetons)      \t[%s]\n", count, line.c_str());
                used = addPlace(net, tokens, where, trace);
                break;
            case 't':
                if (trace)
                    trace->format("transition (%d jetons) \t[%s]\n", count, line.c_str());
                used = addTransition(net, tokens, where, trace);
                break;
            case 'e':
                if (trace)
                    trace->format("arc (%d jetons)        \t[%s]\n", count, line.c_str());
                used = addArc(net, tokens, where, trace);
                break;
            default:
                if (trace)
                    trace->format("inconnu (%d jetons)    \t[%s]\n", count, line.c_str());
                break;
            }
            if (!used)
                ++seen.ignoredLines;
        }
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (trace)
        trace->flush();
    if (summary)
        *summary = seen;
    return ReadDone;
}

int readNetFile(const std::string &path, Net &net, TextSink *trace, ReadSummary *summary)
{
    std::string contents;
    bool read;
    try {
        read = readWholeFile(path, contents);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (!read) {
        if (trace) {
            trace->format(" erreur fichier <%s> non ouvert\n", path.c_str());
            trace->flush();
        }
        return ReadNotOpened;
    }
    if (contents.find('\0') != std::string::npos)
        return ReadNotText;
    return readNetText(contents, path, net, trace, summary);
}

} // namespace trilette
