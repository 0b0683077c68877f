#include "util/textsink.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdarg>

namespace trilette {

TextSink::TextSink(std::FILE *stream)
    : TextSink(Writer([stream](std::string_view block) {
        return std::fwrite(block.data(), 1, block.size(), stream) == block.size()
            && std::fflush(stream) == 0;
    }))
{ }

TextSink::TextSink(Writer writer)
    : writer_(std::move(writer))
{ }

TextSink::~TextSink()
{
    if (writer_)
        flush();
}

void TextSink::grow(size_t size)
{
    const size_t capacity = std::max({2 * capacity_, used_ + size, size_t(4096)});
    std::unique_ptr<char[]> data(new char[capacity]);
    if (used_)
        std::memcpy(data.get(), data_.get(), used_);
    data_ = std::move(data);
    capacity_ = capacity;
}

void TextSink::putAcross(std::string_view text)
{
    if (!writer_) {
        grow(text.size());
        std::memcpy(data_.get() + used_, text.data(), text.size());
        used_ += text.size();
        return;
    }
    if (capacity_ < blockSize)
        grow(blockSize - used_);
    while (!text.empty()) {
        const size_t part = std::min(text.size(), capacity_ - used_);
        std::memcpy(data_.get() + used_, text.data(), part);
        used_ += part;
        text.remove_prefix(part);
        if (used_ >= blockSize)
            passBlock();
    }
}

void TextSink::passBlock()
{
    passedOn_ += used_;
    flush();
    if (blockHook_)
        blockHook_(passedOn_);
}

void TextSink::putInt(long long value)
{
    char digits[24];
    put(std::string_view(digits, size_t(std::to_chars(digits, digits + 24, value).ptr - digits)));
}

void TextSink::format(const char *fmt, ...)
{
    // The format's literal runs are copied whole between its conversions.
    va_list args;
    va_start(args, fmt);
    const char *p = fmt;
    for (;;) {
        const char *percent = std::strchr(p, '%');
        if (!percent) {
            put(std::string_view(p));
            break;
        }
        put(std::string_view(p, size_t(percent - p)));
        p = percent + 1;
        if (*p == 's') {
            const char *text = va_arg(args, const char *);
            put(text ? std::string_view(text) : std::string_view("(null)"));
            ++p;
        } else if (*p == 'd') {
            putInt(va_arg(args, int));
            ++p;
        } else if (p[0] == '.' && p[1] == '*' && p[2] == 's') {
            const int length = va_arg(args, int);
            const char *text = va_arg(args, const char *);
            // An empty view may have no bytes at all: it prints nothing.
            if (text)
                put(std::string_view(text, size_t(std::max(length, 0))));
            p += 3;
        } else if (*p == '%') {
            put('%');
            ++p;
        } else {
            // Not a conversion this sink knows: the '%' stands for itself.
            put('%');
        }
    }
    va_end(args);
}

bool TextSink::flush()
{
    if (!writer_ || used_ == 0)
        return good_;
    errno = 0;
    if (!writer_(text()) && good_) {
        good_ = false;
        error_ = errno ? errno : EIO;
    }
    used_ = 0;
    return good_;
}

} // namespace trilette
