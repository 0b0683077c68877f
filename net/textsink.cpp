#include "textsink.h"

#include <charconv>
#include <cstdarg>
#include <cstring>

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
    va_list args;
    va_start(args, fmt);
    const char *p = fmt;
    while (*p) {
        const char *percent = std::strchr(p, '%');
        if (!percent) {
            buffer_.append(p);
            break;
        }
        buffer_.append(p, percent - p);
        switch (percent[1]) {
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
            buffer_.push_back('%');
            p = percent + 1;
            continue;
        }
        p = percent + 2;
    }
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
