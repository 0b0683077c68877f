#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__GNUC__) || defined(__clang__)
#define TRILETTE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRILETTE_PRINTF(fmt, args)
#endif

namespace trilette {

/// Text written by the reader and the writers: kept in memory, or passed on to a stream in
/// large blocks. One sink serves traces on standard output, generated files and tests alike,
/// so that every byte of every output goes through the same two functions.
class TextSink
{
public:
    /// A sink that keeps everything in memory (see text()).
    TextSink() = default;
    /// A sink that passes its text on to `stream` whenever a block is full, and on flush().
    explicit TextSink(std::FILE *stream);
    ~TextSink();
    TextSink(const TextSink &) = delete;
    TextSink &operator=(const TextSink &) = delete;

    /// Appends bytes as they are.
    void put(std::string_view text)
    {
        std::memcpy(room(text.size()), text.data(), text.size());
        used_ += text.size();
        if (stream_ && used_ >= blockSize)
            flush();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    /// Appends a fixed format filled with its arguments. Only %s (a NUL-terminated text),
    /// %d (an int) and %% are understood; the compiler checks the arguments against them.
    void format(const char *fmt, ...) TRILETTE_PRINTF(2, 3);

    /// Passes the buffered text on to the stream; false once any write to it has failed.
    bool flush();
    /// True while every write to the stream has succeeded.
    bool good() const { return good_; }

    /// Text held in memory (everything, for a sink without a stream).
    std::string_view text() const { return std::string_view(buffer_.data(), used_); }

private:
    static constexpr size_t blockSize = 1 << 16;
    /// Room for `size` more bytes at the end of the text.
    char *room(size_t size)
    {
        if (buffer_.size() - used_ < size)
            buffer_.resize(std::max({2 * buffer_.size(), used_ + size, size_t(4096)}));
        return &buffer_[used_];
    }
    void putText(const char *text);

    std::FILE *stream_ = nullptr;
    /// The text is the first `used_` bytes; the rest is room to write into.
    std::string buffer_;
    size_t used_ = 0;
    bool good_ = true;
};

} // namespace trilette
