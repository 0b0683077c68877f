#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trilette {

class TextSink;

/// How grave a diagnostic is: an error stops the outputs of its net, a warning or a note does
/// not.
enum class Severity : uint8_t { Error, Warning, Note };

/// One problem met while reading, checking or writing a net, where the user can act on it: the
/// file, the line of the net (0 when it concerns the whole file) and the column (0 for none). The
/// texts are views into the Diagnostics that holds it.
struct Diagnostic
{
    Severity severity = Severity::Error;
    std::string_view file;
    int line = 0;
    int column = 0;
    /// One French sentence, without the location and the severity: `message` followed by
    /// `messageTail`, a constant ending that many diagnostics share and that is kept once.
    std::string_view message;
    std::string_view messageTail;

    /// "FILE:LINE:COLUMN: erreur: MESSAGE", the form compilers use, so that editors jump to the
    /// line; the line and the column are left out where there are none.
    std::string format() const;
    /// The same text, followed by a line feed, appended to `out`.
    void writeLine(TextSink &out) const;
};

/// A name or a text of the net between French quotes, in a message: « Data packet ». A name that
/// braces protected in the file shows its blanks again ('@' in the net's records); a byte that
/// is no UTF-8 shows as U+FFFD, so that every message is UTF-8. A text longer than `limit` bytes
/// is cut at the last character that ends within them, and "…" marks the cut.
std::string quoted(std::string_view text, size_t limit = std::string_view::npos);

/// "erreur", "avertissement" or "note".
const char *severityName(Severity severity);

/// The diagnostics of one run, in the order they were met. A large net may have hundreds of
/// thousands: each is kept in a few bytes beside its text, and its file is kept once.
class Diagnostics
{
    struct Entry
    {
        Severity severity;
        /// Position of the message's constant ending in tails_, plus one; 0 for none.
        uint16_t tail;
        uint32_t file;
        int32_t line;
        int32_t column;
        /// Where the message starts in the text chunks (see storeText).
        uint32_t position;
        uint32_t length;
    };

public:
    Diagnostics() = default;
    Diagnostics(const Diagnostics &other) { append(other); }
    Diagnostics(Diagnostics &&) noexcept = default;
    Diagnostics &operator=(const Diagnostics &other)
    {
        Diagnostics copy(other);
        return *this = std::move(copy);
    }
    Diagnostics &operator=(Diagnostics &&) noexcept = default;

    /// Adds a diagnostic whose message is `message` then `tail`. The tail is kept by reference:
    /// it must be a text of static storage (a literal).
    void add(Severity severity, std::string_view file, int line, int column,
             std::string_view message, std::string_view tail = {});
    void error(std::string_view file, std::string_view message)
    {
        add(Severity::Error, file, 0, 0, message);
    }

    /// The diagnostics, as a range of Diagnostic values.
    class Range
    {
    public:
        class Iterator
        {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = Diagnostic;
            using difference_type = std::ptrdiff_t;
            using pointer = void;
            using reference = Diagnostic;
            Iterator(const Diagnostics *owner, size_t index)
                : owner_(owner)
                , index_(index)
            { }
            Diagnostic operator*() const { return owner_->at(index_); }
            Iterator &operator++()
            {
                ++index_;
                return *this;
            }
            bool operator!=(const Iterator &other) const { return index_ != other.index_; }
            bool operator==(const Iterator &other) const { return index_ == other.index_; }

        private:
            const Diagnostics *owner_;
            size_t index_;
        };
        explicit Range(const Diagnostics *owner)
            : owner_(owner)
        { }
        Iterator begin() const { return Iterator(owner_, 0); }
        Iterator end() const { return Iterator(owner_, owner_->size()); }

    private:
        const Diagnostics *owner_;
    };
    Range all() const { return Range(this); }
    Diagnostic at(size_t index) const;
    size_t size() const { return entries_.size(); }
    /// Forgets every diagnostic after the first `count`.
    void keepFirst(size_t count)
    {
        if (count < entries_.size())
            entries_.resize(count);
    }
    /// Makes room for `count` diagnostics in all.
    void reserve(size_t count) { entries_.reserve(count); }
    bool empty() const { return entries_.empty(); }
    int count(Severity severity) const;
    bool hasErrors() const { return count(Severity::Error) > 0; }
    void append(const Diagnostics &other);
    /// Appends the diagnostics of `other`, taking over their texts without copying them.
    void append(Diagnostics &&other);
    /// Puts the diagnostics in the order of the lines they name, those about the whole file last,
    /// keeping the order they were found in otherwise.
    void sortByLine();
    /// Makes every warning an error, marked " [--werror]".
    void makeWarningsErrors();

private:
    /// Copies a message into the chunks and returns its position: the chunk's index times
    /// chunkSize plus the offset in it. A message longer than a chunk has a block of its own,
    /// which takes the indexes of as many chunks.
    uint32_t storeText(std::string_view text);
    const char *textAt(uint32_t position) const
    {
        return chunks_[position / chunkSize].get() + position % chunkSize;
    }
    /// The index, plus one, of a tail in tails_, where it is added if new; 0 when tails_ is
    /// full.
    uint16_t tailIndex(std::string_view tail);

    /// Grows by a quarter at a time: many entries never leave a doubled buffer half empty.
    std::vector<Entry> entries_;
    std::vector<std::string> files_;
    std::vector<std::string_view> tails_;
    std::unordered_map<std::string_view, uint16_t> tailIds_;
    /// The messages, end to end in blocks that never move.
    static constexpr size_t chunkSize = size_t(1) << 16;
    std::vector<std::unique_ptr<char[]>> chunks_;
    /// Bytes used in the last chunk.
    size_t chunkUsed_ = chunkSize;
};

} // namespace trilette
