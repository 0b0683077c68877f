#pragma once

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

#if defined(__GNUC__) || defined(__clang__)
#define TRILETTE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRILETTE_PRINTF(fmt, args)
#endif

namespace trilette {

/// Text written by the reader and the writers: kept in memory, or passed on in large blocks. One
/// sink serves traces on standard output, generated files and tests alike, so that every byte of
/// every output goes through the same few functions.
class TextSink
{
public:
    /// Takes one block of text; false when it could not be written whole.
    using Writer = std::function<bool(std::string_view block)>;
    /// Told the bytes passed on so far each time a full block has been passed on while text is
    /// put; it may throw to stop the writing of a long output.
    using BlockHook = std::function<void(size_t passedOn)>;
    /// Size of the blocks passed on to a writer or a stream.
    static constexpr size_t blockSize = size_t(1) << 20;

    /// A sink that keeps everything in memory (see text()).
    TextSink() = default;
    /// A sink that writes its text to `stream` whenever a block is full, and on flush(), where
    /// it also flushes the stream.
    explicit TextSink(std::FILE *stream);
    /// A sink that hands its text to `writer` whenever a block is full, and on flush().
    explicit TextSink(Writer writer);
    ~TextSink();
    TextSink(const TextSink &) = delete;
    TextSink &operator=(const TextSink &) = delete;

    /// Appends bytes as they are.
    void put(std::string_view text)
    {
        if (text.empty()) // an empty sink's text has no bytes, and memcpy takes no null
            return;
        if (text.size() > capacity_ - used_)
            return putAcross(text);
        std::memcpy(data_.get() + used_, text.data(), text.size());
        used_ += text.size();
        if (writer_ && used_ >= blockSize)
            passBlock();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    /// Appends a signed decimal integer.
    void putInt(long long value);
    /// Appends a fixed format filled with its arguments. Only %s (a NUL-terminated text; null
    /// prints "(null)"), %.*s (a length and a text: a view), %d (an int) and %% are understood;
    /// the compiler checks the arguments.
    void format(const char *fmt, ...) TRILETTE_PRINTF(2, 3);

    /// Calls `hook` after each full block passed on (not on flush(), which a destructor calls).
    void setBlockHook(BlockHook hook) { blockHook_ = std::move(hook); }

    /// Passes the buffered text on; false once any write has failed.
    bool flush();
    /// True while every write has succeeded.
    bool good() const { return good_; }
    /// The errno of the first write that failed, or 0.
    int writeError() const { return error_; }

    /// Text held in memory (everything, for a sink without a writer).
    std::string_view text() const { return std::string_view(data_.get(), used_); }
    /// Forgets the text held in memory.
    void clear() { used_ = 0; }

private:
    /// Appends a text that does not fit in the buffer: a sink without writer grows; a sink with
    /// one fills its block, passes it on and goes on, so that it never holds more than a block.
    void putAcross(std::string_view text);
    /// Passes a full block on, then tells the hook.
    void passBlock();
    /// Makes room for at least `size` more bytes; the buffer is never zero-filled.
    void grow(size_t size);

    Writer writer_;
    BlockHook blockHook_;
    size_t passedOn_ = 0;
    std::unique_ptr<char[]> data_;
    size_t used_ = 0;
    size_t capacity_ = 0;
    bool good_ = true;
    int error_ = 0;
};

} // namespace trilette
