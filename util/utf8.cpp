#include "util/utf8.h"

namespace trilette {

size_t utf8Length(std::string_view text, size_t position)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (position >= text.size())
        return 0;
    const unsigned c = byte(position);
    if (c < 0x80)
        return 1;
    // C0 and C1 only begin overlong forms; F5 and above code points beyond U+10FFFF.
    const size_t length = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (length == 0 || text.size() - position < length)
        return 0;
    // The second byte's range rules out overlong forms (E0, F0), surrogates (ED) and what lies
    // beyond U+10FFFF (F4).
    const unsigned low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (byte(position + 1) < low || byte(position + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(position + i) < 0x80 || byte(position + i) > 0xBF)
            return 0;
    }
    // U+FFFE and U+FFFF: EF BF BE and EF BF BF.
    if (c == 0xEF && byte(position + 1) == 0xBF && byte(position + 2) >= 0xBE)
        return 0;
    return length;
}

std::string replaceInvalidUtf8(std::string_view text, std::string_view replacement)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (const size_t length = utf8Length(text, i)) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.append(replacement);
            ++i;
        }
    }
    return out;
}

} // namespace trilette
