#pragma once

// The words of ST as the project uses them: case folding (ST compares identifiers without case,
// ASCII letters only), the reserved words, the identifier test, and the rule that makes a valid
// identifier of any name.

#include <string>
#include <string_view>

namespace trilette {

/// `c` in upper case when it is an ASCII letter, as written otherwise.
inline char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

/// Whether `c` is an ASCII digit (what ST calls a digit, whatever the locale).
inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// Whether `c` is an ASCII letter.
inline bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// `text` with its ASCII letters in upper case: the key under which ST finds a name.
std::string upperCase(std::string_view text);

/// Whether `a` and `b` are one word for ST, compared without case.
bool sameWord(std::string_view a, std::string_view b);

/// Whether `word` is an ST keyword or type name (IF, END_IF, EXIT, INT, TIME...), compared
/// without case. The parser reads such words as names, so that a label like "Exit" can be given
/// a valid name; they cannot stand as written in a program.
bool isKeyword(std::string_view word);

/// Whether `word` is reserved in IEC 61131-3, compared without case: keywords and type names,
/// standard functions and function blocks (ABS, MAX, TON, R_TRIG...) and type conversions
/// (INT_TO_REAL...). No variable may be named so.
bool isReservedWord(std::string_view word);

/// Whether `name` stands as an identifier in ST: a letter or '_', then letters, digits and
/// single '_', not ending with '_'.
bool isStIdentifier(std::string_view name);

/// A valid IEC 61131-3 identifier made from `name`: each run of characters other than ASCII
/// letters and digits becomes one '_', none at either end; `prefix` and '_' go before a name
/// that would start with a digit or be empty. Reserved words are not handled here.
std::string makeIdentifier(std::string_view name, std::string_view prefix);

} // namespace trilette
