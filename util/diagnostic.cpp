#include "util/diagnostic.h"

#include <algorithm>
#include <cstring>

namespace trilette {

std::string quoted(std::string_view text)
{
    std::string out = "« ";
    for (char c : text)
        out += c == '@' ? ' ' : c;
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
    std::string text(file);
    if (line > 0) {
        text += ':' + std::to_string(line);
        if (column > 0)
            text += ':' + std::to_string(column);
    }
    text.append(": ").append(severityName(severity)).append(": ").append(message);
    return text;
}

std::string_view Diagnostics::storeText(std::string_view text, uint32_t &chunk, uint32_t &offset)
{
    if (chunks_.empty() || text.size() > chunkSize_ - chunkUsed_) {
        chunkSize_ = std::max(text.size(), size_t(1) << 16);
        chunks_.push_back(std::unique_ptr<char[]>(new char[chunkSize_]));
        chunkUsed_ = 0;
    }
    chunk = uint32_t(chunks_.size() - 1);
    offset = uint32_t(chunkUsed_);
    char *copy = chunks_.back().get() + chunkUsed_;
    if (!text.empty())
        std::memcpy(copy, text.data(), text.size());
    chunkUsed_ += text.size();
    return std::string_view(copy, text.size());
}

void Diagnostics::add(Severity severity, std::string_view file, int line, int column,
                      std::string_view message)
{
    // A run names one or two files: each is kept once.
    auto known = std::find(files_.begin(), files_.end(), file);
    if (known == files_.end())
        known = files_.emplace(files_.end(), file);
    Entry entry {severity, uint32_t(known - files_.begin()), line, column, 0,
                 0,        uint32_t(message.size())};
    storeText(message, entry.chunk, entry.offset);
    if (entries_.size() == entries_.capacity())
        entries_.reserve(entries_.size() + entries_.size() / 4 + 64);
    entries_.push_back(entry);
}

Diagnostic Diagnostics::at(size_t index) const
{
    const Entry &e = entries_[index];
    return {e.severity, files_[e.file], e.line, e.column,
            std::string_view(chunks_[e.chunk].get() + e.offset, e.length)};
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
        const std::string message
            = std::string(chunks_[e.chunk].get() + e.offset, e.length) + " [--werror]";
        e.severity = Severity::Error;
        e.length = uint32_t(message.size());
        storeText(message, e.chunk, e.offset);
    }
}

void Diagnostics::append(const Diagnostics &other)
{
    for (const Diagnostic &d : other.all())
        add(d.severity, d.file, d.line, d.column, d.message);
}

} // namespace trilette
