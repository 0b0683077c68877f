#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trilette {

/// The length of the UTF-8 sequence that starts at `position` of `text` (1 to 4), or 0 when the
/// bytes there are no UTF-8: a continuation byte without its lead, a lead byte cut short, an
/// overlong form, a surrogate (U+D800-U+DFFF), a code point above U+10FFFF, or U+FFFE or
/// U+FFFF, which no text may hold. The one test of UTF-8 in the program.
size_t utf8Length(std::string_view text, size_t position);

/// The text with every byte that is no part of a UTF-8 sequence (see utf8Length) replaced by
/// `replacement`.
std::string replaceInvalidUtf8(std::string_view text, std::string_view replacement);

/// U+FFFD, the replacement character, in UTF-8.
constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

} // namespace trilette
