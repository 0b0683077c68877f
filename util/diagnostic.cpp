#include "util/diagnostic.h"

#include "util/textsink.h"
#include "util/utf8.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace trilette {

std::string quoted(std::string_view text, size_t limit)
{
    std::string out = "« ";
    out.reserve(std::min(text.size(), limit) + 9);
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = utf8Length(text, i);
        if (i + std::max<size_t>(length, 1) > limit)
            break;
        if (length) {
            if (text[i] == '@')
                out += ' ';
            else
                out.append(text.substr(i, length));
            i += length;
        } else {
            out.append(replacementCharacter);
            ++i;
        }
    }
    if (i < text.size())
        out += "…";
    return out + " »";
}

const char *severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return "erreur";
    case Severity::Warning:
        return "avertissement";
    case Severity::Note:
        break;
    }
    return "note";
}

std::string Diagnostic::format() const
{
    TextSink text;
    writeLine(text);
    return std::string(text.text().substr(0, text.text().size() - 1));
}

void Diagnostic::writeLine(TextSink &out) const
{
    out.put(file);
    if (line > 0) {
        out.put(':');
        out.putInt(line);
        if (column > 0) {
            out.put(':');
            out.putInt(column);
        }
    }
    out.put(": ");
    out.put(severityName(severity));
    out.put(": ");
    out.put(message);
    out.put(messageTail);
    out.put('\n');
}

uint32_t Diagnostics::storeText(std::string_view text)
{
    if (!chunks_.empty() && text.size() <= chunkSize - chunkUsed_) {
        const auto position = uint32_t((chunks_.size() - 1) * chunkSize + chunkUsed_);
        if (!text.empty())
            std::memcpy(chunks_.back().get() + chunkUsed_, text.data(), text.size());
        chunkUsed_ += text.size();
        return position;
    }
    // Positions are 32-bit: four gigabytes of messages, which no memory holds beside a net.
    const size_t chunks = std::max<size_t>(1, (text.size() + chunkSize - 1) / chunkSize);
    const size_t first = chunks_.size();
    if (first + chunks > (size_t(UINT32_MAX) + 1) / chunkSize)
        throw std::bad_alloc();
    chunks_.emplace_back(new char[chunks * chunkSize]);
    chunks_.resize(first + chunks);
    if (!text.empty())
        std::memcpy(chunks_[first].get(), text.data(), text.size());
    // A message longer than a chunk fills its own: the next one starts a new chunk.
    chunkUsed_ = chunks > 1 ? chunkSize : text.size();
    return uint32_t(first * chunkSize);
}

void Diagnostics::add(Severity severity, std::string_view file, int line, int column,
                      std::string_view message, std::string_view tail)
{
    // A run names one or two files: each is kept once.
    auto known = std::find(files_.begin(), files_.end(), file);
    if (known == files_.end())
        known = files_.emplace(files_.end(), file);
    const uint16_t tailId = tail.empty() ? 0 : tailIndex(tail);
    Entry entry {severity, tailId, uint32_t(known - files_.begin()), line,
                 column,   0,      uint32_t(message.size())};
    if (tail.empty() || tailId != 0) {
        entry.position = storeText(message);
    } else {
        // No room for another ending: this message keeps its own.
        const std::string whole = std::string(message) + std::string(tail);
        entry.length = uint32_t(whole.size());
        entry.position = storeText(whole);
    }
    if (entries_.size() == entries_.capacity())
        entries_.reserve(entries_.size() + entries_.size() / 4 + 64);
    entries_.push_back(entry);
}

uint16_t Diagnostics::tailIndex(std::string_view tail)
{
    // Tails are literals of the program, a few dozen at most, matched by their text: the same
    // ending written in two places is one.
    if (const auto same = tailIds_.find(tail); same != tailIds_.end())
        return same->second;
    if (tails_.size() >= UINT16_MAX)
        return 0;
    tails_.push_back(tail);
    tailIds_.emplace(tail, uint16_t(tails_.size()));
    return uint16_t(tails_.size());
}

Diagnostic Diagnostics::at(size_t index) const
{
    const Entry &e = entries_[index];
    return {e.severity,
            files_[e.file],
            e.line,
            e.column,
            std::string_view(textAt(e.position), e.length),
            e.tail ? tails_[e.tail - 1] : std::string_view()};
}

int Diagnostics::count(Severity severity) const
{
    return int(std::count_if(entries_.begin(), entries_.end(),
                             [&](const Entry &e) { return e.severity == severity; }));
}

void Diagnostics::sortByLine()
{
    const auto key
        = [](const Entry &e) { return std::make_pair(e.line == 0 ? INT32_MAX : e.line, e.column); };
    std::stable_sort(entries_.begin(), entries_.end(),
                     [&](const Entry &a, const Entry &b) { return key(a) < key(b); });
}

void Diagnostics::makeWarningsErrors()
{
    for (Entry &e : entries_) {
        if (e.severity != Severity::Warning)
            continue;
        std::string message(textAt(e.position), e.length);
        if (e.tail)
            message.append(tails_[e.tail - 1]);
        message += " [--werror]";
        e.severity = Severity::Error;
        e.tail = 0;
        e.length = uint32_t(message.size());
        e.position = storeText(message);
    }
}

void Diagnostics::append(const Diagnostics &other)
{
    for (const Diagnostic &d : other.all())
        add(d.severity, d.file, d.line, d.column, d.message, d.messageTail);
}

void Diagnostics::append(Diagnostics &&other)
{
    if (other.entries_.empty())
        return;
    if (entries_.empty() && files_.empty()) {
        *this = std::move(other);
        return;
    }
    // The other's text blocks join these, after them: new texts go on into its last block.
    const size_t firstChunk = chunks_.size();
    if (firstChunk + other.chunks_.size() > (size_t(UINT32_MAX) + 1) / chunkSize)
        throw std::bad_alloc();
    for (auto &chunk : other.chunks_)
        chunks_.push_back(std::move(chunk));
    chunkUsed_ = other.chunkUsed_;
    if (entries_.capacity() < entries_.size() + other.entries_.size())
        entries_.reserve(entries_.size() + other.entries_.size());
    for (Entry e : other.entries_) {
        const std::string_view file = other.files_[e.file];
        auto known = std::find(files_.begin(), files_.end(), file);
        if (known == files_.end())
            known = files_.emplace(files_.end(), file);
        e.file = uint32_t(known - files_.begin());
        e.position += uint32_t(firstChunk * chunkSize);
        if (e.tail) {
            const std::string_view tail = other.tails_[e.tail - 1];
            e.tail = tailIndex(tail);
            if (!e.tail) {
                const std::string whole
                    = std::string(textAt(e.position), e.length) + std::string(tail);
                e.length = uint32_t(whole.size());
                e.position = storeText(whole);
            }
        }
        entries_.push_back(e);
    }
    other = Diagnostics();
}

} // namespace trilette
