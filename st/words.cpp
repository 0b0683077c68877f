#include "st/words.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace trilette {

namespace {

/// Words that no name may be: statements, declarations and type names.
constexpr std::string_view keywords
    = "IF THEN ELSE ELSIF END_IF CASE OF END_CASE FOR TO BY DO END_FOR WHILE END_WHILE REPEAT "
      "UNTIL END_REPEAT EXIT RETURN CONTINUE VAR VAR_INPUT VAR_OUTPUT VAR_IN_OUT VAR_GLOBAL "
      "VAR_EXTERNAL VAR_TEMP VAR_ACCESS VAR_CONFIG END_VAR CONSTANT RETAIN NON_RETAIN AT "
      "FUNCTION END_FUNCTION FUNCTION_BLOCK END_FUNCTION_BLOCK PROGRAM END_PROGRAM TYPE "
      "END_TYPE STRUCT END_STRUCT ARRAY STRING WSTRING CHAR WCHAR BOOL SINT INT DINT LINT "
      "USINT UINT UDINT ULINT REAL LREAL BYTE WORD DWORD LWORD TIME LTIME DATE LDATE "
      "TIME_OF_DAY TOD LTOD DATE_AND_TIME DT LDT";

/// The longest word that IEC 61131-3 reserves is shorter than this: a longer name is no
/// reserved word, and a shorter one is upper-cased on the stack.
constexpr size_t longestWord = 40;

/// `word` in upper case in `buffer`, or an empty view when it is too long to be reserved.
std::string_view upperWord(std::string_view word, char (&buffer)[longestWord])
{
    if (word.size() >= longestWord)
        return std::string_view();
    for (size_t i = 0; i < word.size(); ++i)
        buffer[i] = upperAscii(word[i]);
    return std::string_view(buffer, word.size());
}

/// The keywords, upper case and sorted, for a binary search.
const std::vector<std::string_view> &sortedKeywords()
{
    static const std::vector<std::string_view> sorted = [] {
        std::vector<std::string_view> words;
        for (size_t p = 0; p < keywords.size();) {
            const size_t q = std::min(keywords.find(' ', p), keywords.size());
            words.push_back(keywords.substr(p, q - p));
            p = q + 1;
        }
        std::sort(words.begin(), words.end());
        return words;
    }();
    return sorted;
}

bool isUpperKeyword(std::string_view key)
{
    const std::vector<std::string_view> &words = sortedKeywords();
    return !key.empty() && std::binary_search(words.begin(), words.end(), key);
}

} // namespace

bool isKeyword(std::string_view word)
{
    char buffer[longestWord];
    return isUpperKeyword(upperWord(word, buffer));
}

namespace {

/// Words that IEC 61131-3 reserves: keywords, elementary and generic types, standard functions
/// and standard function blocks, in upper case and sorted. Type conversions (INT_TO_REAL...) are
/// recognised by their shape.
const std::string_view reservedWords[] = {
    "ABS",
    "ABSTRACT",
    "ACOS",
    "ACTION",
    "ADD",
    "AND",
    "AND_THEN",
    "ANY",
    "ANY_BIT",
    "ANY_CHAR",
    "ANY_CHARS",
    "ANY_DATE",
    "ANY_DERIVED",
    "ANY_DURATION",
    "ANY_ELEMENTARY",
    "ANY_INT",
    "ANY_MAGNITUDE",
    "ANY_NUM",
    "ANY_REAL",
    "ANY_SIGNED",
    "ANY_STRING",
    "ANY_UNSIGNED",
    "ARRAY",
    "AS",
    "ASIN",
    "AT",
    "ATAN",
    "ATAN2",
    "BOOL",
    "BY",
    "BYTE",
    "CASE",
    "CHAR",
    "CLASS",
    "CONCAT",
    "CONFIGURATION",
    "CONSTANT",
    "CONTINUE",
    "COS",
    "CTD",
    "CTD_DINT",
    "CTD_LINT",
    "CTD_UDINT",
    "CTD_ULINT",
    "CTU",
    "CTUD",
    "CTUD_DINT",
    "CTUD_LINT",
    "CTUD_UDINT",
    "CTUD_ULINT",
    "CTU_DINT",
    "CTU_LINT",
    "CTU_UDINT",
    "CTU_ULINT",
    "DATE",
    "DATE_AND_TIME",
    "DELETE",
    "DINT",
    "DIV",
    "DO",
    "DT",
    "DWORD",
    "ELSE",
    "ELSIF",
    "EN",
    "END_ACTION",
    "END_CASE",
    "END_CLASS",
    "END_CONFIGURATION",
    "END_FOR",
    "END_FUNCTION",
    "END_FUNCTION_BLOCK",
    "END_IF",
    "END_INTERFACE",
    "END_METHOD",
    "END_NAMESPACE",
    "END_PROGRAM",
    "END_REPEAT",
    "END_RESOURCE",
    "END_STEP",
    "END_STRUCT",
    "END_TRANSITION",
    "END_TYPE",
    "END_VAR",
    "END_WHILE",
    "ENO",
    "EQ",
    "EXIT",
    "EXP",
    "EXPT",
    "EXTENDS",
    "FALSE",
    "FINAL",
    "FIND",
    "FOR",
    "FROM",
    "FUNCTION",
    "FUNCTION_BLOCK",
    "F_EDGE",
    "F_TRIG",
    "GE",
    "GT",
    "IF",
    "IMPLEMENTS",
    "INITIAL_STEP",
    "INSERT",
    "INT",
    "INTERFACE",
    "INTERNAL",
    "INTERVAL",
    "LDATE",
    "LDATE_AND_TIME",
    "LDT",
    "LE",
    "LEFT",
    "LEN",
    "LIMIT",
    "LINT",
    "LN",
    "LOG",
    "LREAL",
    "LT",
    "LTIME",
    "LTIME_OF_DAY",
    "LTOD",
    "LWORD",
    "MAX",
    "METHOD",
    "MID",
    "MIN",
    "MOD",
    "MOVE",
    "MUL",
    "MUX",
    "NAMESPACE",
    "NE",
    "NON_RETAIN",
    "NOT",
    "NULL",
    "OF",
    "ON",
    "OR",
    "OR_ELSE",
    "OVERLAP",
    "OVERRIDE",
    "PRIORITY",
    "PRIVATE",
    "PROGRAM",
    "PROTECTED",
    "PUBLIC",
    "READ_ONLY",
    "READ_WRITE",
    "REAL",
    "REF",
    "REFERENCE",
    "REF_TO",
    "REPEAT",
    "REPLACE",
    "RESOURCE",
    "RETAIN",
    "RETURN",
    "RIGHT",
    "ROL",
    "ROR",
    "RS",
    "RTC",
    "R_EDGE",
    "R_TRIG",
    "SEL",
    "SEMA",
    "SHL",
    "SHR",
    "SIN",
    "SINGLE",
    "SINT",
    "SQRT",
    "SR",
    "STEP",
    "STRING",
    "STRUCT",
    "SUB",
    "SUPER",
    "TAN",
    "TASK",
    "THEN",
    "THIS",
    "TIME",
    "TIME_OF_DAY",
    "TO",
    "TOD",
    "TOF",
    "TON",
    "TP",
    "TRANSITION",
    "TRUE",
    "TRUNC",
    "TYPE",
    "UDINT",
    "UINT",
    "ULINT",
    "UNTIL",
    "USING",
    "USINT",
    "VAR",
    "VAR_ACCESS",
    "VAR_CONFIG",
    "VAR_EXTERNAL",
    "VAR_GLOBAL",
    "VAR_INPUT",
    "VAR_IN_OUT",
    "VAR_OUTPUT",
    "VAR_STAT",
    "VAR_TEMP",
    "WCHAR",
    "WHILE",
    "WITH",
    "WORD",
    "WSTRING",
    "XOR",
};

const std::string_view elementaryTypes[] = {
    "BCD",     "BOOL",          "BYTE",        "CHAR",  "DATE",  "DINT",  "DT",    "DWORD",
    "INT",     "LINT",          "LREAL",       "LTIME", "LWORD", "REAL",  "SINT",  "STRING",
    "TIME",    "TOD",           "UDINT",       "UINT",  "ULINT", "USINT", "WCHAR", "WORD",
    "WSTRING", "DATE_AND_TIME", "TIME_OF_DAY", "LDT",   "LTOD",  "LDATE",
};

bool isType(std::string_view word)
{
    return std::find(std::begin(elementaryTypes), std::end(elementaryTypes), word)
        != std::end(elementaryTypes);
}

/// Type conversions: X_TO_Y, TRUNC_Y, X_TRUNC_Y, with X and Y elementary types.
bool isConversion(std::string_view word)
{
    for (std::string_view joint : {"_TO_", "_TRUNC_"}) {
        for (size_t at = word.find(joint); at != std::string_view::npos;
             at = word.find(joint, at + 1)) {
            if (isType(word.substr(0, at)) && isType(word.substr(at + joint.size())))
                return true;
        }
    }
    return word.compare(0, 6, "TRUNC_") == 0 && isType(word.substr(6));
}

} // namespace

bool isReservedWord(std::string_view word)
{
    char buffer[longestWord];
    const std::string_view key = upperWord(word, buffer);
    if (key.empty())
        return false;
    return isUpperKeyword(key)
        || std::binary_search(std::begin(reservedWords), std::end(reservedWords), key)
        || isConversion(key);
}

std::string upperCase(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = upperAscii(c);
    return out;
}

bool sameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    }
    return true;
}

bool isStIdentifier(std::string_view name)
{
    if (name.empty() || isDigit(name[0]) || name.back() == '_')
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (!(isLetter(c) || isDigit(c) || c == '_')
            || (c == '_' && i + 1 < name.size() && name[i + 1] == '_'))
            return false;
    }
    return true;
}

std::string makeIdentifier(std::string_view name, std::string_view prefix)
{
    std::string id;
    bool gap = false;
    for (char c : name) {
        if (isLetter(c) || isDigit(c)) {
            if (gap && !id.empty())
                id += '_';
            id += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    if (id.empty() || isDigit(id[0]))
        id = std::string(prefix) + (id.empty() ? "" : "_") + id;
    return id;
}

} // namespace trilette
