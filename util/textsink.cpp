#include "util/textsink.h"

#include <charconv>
#include <cstdarg>

namespace trilette {

TextSink::TextSink(std::FILE *stream)
    : stream_(stream)
{
    buffer_.resize(2 * blockSize);
}

TextSink::~TextSink()
{
    if (stream_)
        flush();
}

void TextSink::putText(const char *text)
{
    const size_t size = std::strlen(text);
    std::memcpy(room(size), text, size);
    used_ += size;
}

void TextSink::format(const char *fmt, ...)
{
    // One pass over the format, copying its literal runs whole: this is the writers' inner loop.
    va_list args;
    va_start(args, fmt);
    const char *literal = fmt;
    const char *p = fmt;
    for (; *p; ++p) {
        if (*p != '%')
            continue;
        put(std::string_view(literal, p - literal));
        switch (p[1]) {
        case 's': {
            const char *text = va_arg(args, const char *);
            putText(text ? text : "(null)");
            break;
        }
        case 'd': {
            char *digits = room(12);
            used_ = std::to_chars(digits, digits + 12, va_arg(args, int)).ptr - buffer_.data();
            break;
        }
        case '%':
            put('%');
            break;
        default:
            // Not a conversion this sink knows: the '%' stands for itself.
            literal = p;
            continue;
        }
        literal = p + 2;
        ++p;
    }
    put(std::string_view(literal, p - literal));
    va_end(args);
    if (stream_ && buffer_.size() >= blockSize)
        flush();
}

bool TextSink::flush()
{
    if (!stream_ || used_ == 0)
        return good_;
    if (std::fwrite(buffer_.data(), 1, used_, stream_) != used_)
        good_ = false;
    used_ = 0;
    return good_;
}

} // namespace trilette
