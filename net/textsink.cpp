#include "textsink.h"

#include <charconv>
#include <cstdarg>

namespace trilette {

TextSink::TextSink(std::FILE *stream)
    : stream_(stream)
{
    buffer_.reserve(blockSize + 1024);
}

TextSink::~TextSink()
{
    if (stream_)
        flush();
}

void TextSink::put(std::string_view text)
{
    buffer_.append(text);
    if (stream_ && buffer_.size() >= blockSize)
        flush();
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
        buffer_.append(literal, p - literal);
        switch (p[1]) {
        case 's': {
            const char *text = va_arg(args, const char *);
            buffer_.append(text ? text : "(null)");
            break;
        }
        case 'd': {
            char digits[16];
            auto result = std::to_chars(digits, digits + sizeof digits, va_arg(args, int));
            buffer_.append(digits, result.ptr - digits);
            break;
        }
        case '%':
            buffer_.push_back('%');
            break;
        default:
            // Not a conversion this sink knows: the '%' stands for itself.
            literal = p;
            continue;
        }
        literal = p + 2;
        ++p;
    }
    buffer_.append(literal, p - literal);
    va_end(args);
    if (stream_ && buffer_.size() >= blockSize)
        flush();
}

bool TextSink::flush()
{
    if (!stream_ || buffer_.empty())
        return good_;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
        good_ = false;
    buffer_.clear();
    return good_;
}

} // namespace trilette
