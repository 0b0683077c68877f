#include "net/stexpr.h"

#include "util/diagnostic.h"
#include "util/utf8.h"

#include <cctype>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <unordered_map>
#include <utility>

namespace trilette {

namespace {

constexpr uint32_t NoNode = std::numeric_limits<uint32_t>::max();

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isIdentChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

/// Characters that, glued to a literal, make it one malformed word rather than two tokens.
bool isGlued(char c)
{
    return isIdentChar(c) || c == '#' || c == '.';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool sameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i]))
            return false;
    }
    return true;
}

int digitValue(char c)
{
    if (isDigit(c))
        return c - '0';
    c = upper(c);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
}

enum class Tok : uint8_t {
    End,
    Name,
    Int,
    Real,
    Typed,
    Address,
    True,
    False,
    Not,
    And,
    Amp,
    Or,
    Xor,
    Mod,
    LParen,
    RParen,
    Comma,
    Plus,
    Minus,
    Star,
    Power,
    Slash,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Comment,
    Dot,
    Other
};

struct Word
{
    const char *text;
    Tok tok;
};

const Word operatorWords[] = {
    {"AND", Tok::And}, {"OR", Tok::Or},     {"XOR", Tok::Xor},     {"NOT", Tok::Not},
    {"MOD", Tok::Mod}, {"TRUE", Tok::True}, {"FALSE", Tok::False},
};

/// Words that no name may be: statements, declarations and type names.
constexpr std::string_view keywords
    = "IF THEN ELSE ELSIF END_IF CASE OF END_CASE FOR TO BY DO END_FOR WHILE END_WHILE REPEAT "
      "UNTIL END_REPEAT EXIT RETURN CONTINUE VAR VAR_INPUT VAR_OUTPUT VAR_IN_OUT VAR_GLOBAL "
      "VAR_EXTERNAL VAR_TEMP VAR_ACCESS VAR_CONFIG END_VAR CONSTANT RETAIN NON_RETAIN AT "
      "FUNCTION END_FUNCTION FUNCTION_BLOCK END_FUNCTION_BLOCK PROGRAM END_PROGRAM TYPE "
      "END_TYPE STRUCT END_STRUCT ARRAY STRING WSTRING CHAR WCHAR BOOL SINT INT DINT LINT "
      "USINT UINT UDINT ULINT REAL LREAL BYTE WORD DWORD LWORD TIME LTIME DATE LDATE "
      "TIME_OF_DAY TOD LTOD DATE_AND_TIME DT LDT";

} // namespace

namespace {

/// The longest word that IEC 61131-3 reserves is shorter than this: a longer name is no
/// reserved word, and a shorter one is upper-cased on the stack.
constexpr size_t longestWord = 40;

/// `word` in upper case in `buffer`, or an empty view when it is too long to be reserved.
std::string_view upperWord(std::string_view word, char (&buffer)[longestWord])
{
    if (word.size() >= longestWord)
        return std::string_view();
    for (size_t i = 0; i < word.size(); ++i)
        buffer[i] = char(std::toupper(static_cast<unsigned char>(word[i])));
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

namespace {

/// What may follow the '#' of a typed literal.
enum class LiteralType : uint8_t { None, Signed, Unsigned, Bool, Real, Duration };

LiteralType literalType(std::string_view prefix)
{
    static const std::pair<const char *, LiteralType> types[] = {
        {"SINT", LiteralType::Signed},    {"INT", LiteralType::Signed},
        {"DINT", LiteralType::Signed},    {"LINT", LiteralType::Signed},
        {"USINT", LiteralType::Unsigned}, {"UINT", LiteralType::Unsigned},
        {"UDINT", LiteralType::Unsigned}, {"ULINT", LiteralType::Unsigned},
        {"BYTE", LiteralType::Unsigned},  {"WORD", LiteralType::Unsigned},
        {"DWORD", LiteralType::Unsigned}, {"LWORD", LiteralType::Unsigned},
        {"BOOL", LiteralType::Bool},      {"REAL", LiteralType::Real},
        {"LREAL", LiteralType::Real},     {"T", LiteralType::Duration},
        {"TIME", LiteralType::Duration},  {"LT", LiteralType::Duration},
        {"LTIME", LiteralType::Duration},
    };
    for (const auto &type : types) {
        if (sameWord(prefix, type.first))
            return type.second;
    }
    return LiteralType::None;
}

/// Rank of a duration unit, larger for smaller units; -1 for none.
int unitRank(std::string_view unit)
{
    static const char *const units[] = {"D", "H", "M", "S", "MS", "US", "NS"};
    for (int rank = 0; rank < 7; ++rank) {
        if (sameWord(unit, units[rank]))
            return rank;
    }
    return -1;
}

struct BinaryOperator
{
    ExprKind kind;
    int level; ///< 1 for OR up to 8 for **; 0 for a token that is no binary operator
};

BinaryOperator binaryOperator(Tok tok)
{
    switch (tok) {
    case Tok::Or:
        return {ExprKind::Or, 1};
    case Tok::Xor:
        return {ExprKind::Xor, 2};
    case Tok::And:
    case Tok::Amp:
        return {ExprKind::And, 3};
    case Tok::Eq:
        return {ExprKind::Eq, 4};
    case Tok::Ne:
        return {ExprKind::Ne, 4};
    case Tok::Lt:
        return {ExprKind::Lt, 5};
    case Tok::Gt:
        return {ExprKind::Gt, 5};
    case Tok::Le:
        return {ExprKind::Le, 5};
    case Tok::Ge:
        return {ExprKind::Ge, 5};
    case Tok::Plus:
        return {ExprKind::Add, 6};
    case Tok::Minus:
        return {ExprKind::Sub, 6};
    case Tok::Star:
        return {ExprKind::Mul, 7};
    case Tok::Slash:
        return {ExprKind::Div, 7};
    case Tok::Mod:
        return {ExprKind::Mod, 7};
    case Tok::Power:
        return {ExprKind::Pow, 8};
    default:
        return {ExprKind::Name, 0};
    }
}

/// A piece of a predicate between French quotes, cut after 40 bytes.
std::string quotedPiece(std::string_view text)
{
    return quoted(text, 40);
}

bool isFeminine(std::string_view what)
{
    for (std::string_view start : {"fin ", "« ( »", "« ) »", "« , »"}) {
        if (what.substr(0, start.size()) == start)
            return true;
    }
    return false;
}

} // namespace

/// Recursive descent, precedence climbing for the binary operators. Nesting is bounded by
/// MaxExprDepth, so the stack holds at most a few thousand small frames.
class ExprParser
{
public:
    ExprParser(std::string_view text, Expr &expr, ParseError &error)
        : s_(text)
        , expr_(expr)
        , error_(error)
    { }

    bool parse()
    {
        if (s_.size() >= NoNode) {
            error_.kind = ParseError::TooLong;
            return false;
        }
        expr_.text_.assign(s_);
        if (!advance())
            return false;
        if (tok_ == Tok::End)
            return true;
        if (binary(1) == NoNode)
            return false;
        return tok_ == Tok::End || fail("fin du prédicat");
    }

private:
    std::string_view s_;
    Expr &expr_;
    ParseError &error_;
    Tok tok_ = Tok::End;
    uint32_t begin_ = 0, end_ = 0, mark_ = 0;
    int depth_ = 0;

    char at(size_t p) const { return p < s_.size() ? s_[p] : '\0'; }

    /// End of `digit ('_'? digit)*` from a digit at `p`.
    size_t decimalRun(size_t p) const
    {
        size_t q = p + 1;
        while (isDigit(at(q)) || (at(q) == '_' && isDigit(at(q + 1))))
            q += at(q) == '_' ? 2 : 1;
        return q;
    }

    /// End of `('_'? digit)+` in `base` from `p`, or 0 when there is no digit.
    size_t basedRun(size_t p, int base) const
    {
        size_t q = p;
        for (;;) {
            const size_t digit = at(q) == '_' ? q + 1 : q;
            if (digit >= s_.size() || digitValue(s_[digit]) >= base)
                return q == p ? 0 : q;
            q = digit + 1;
        }
    }

    /// End of an integer or real literal without type from a digit at `p`, or 0.
    size_t numberEnd(size_t p, bool &real) const
    {
        size_t q = decimalRun(p);
        real = false;
        if (at(q) == '#') {
            const std::string_view base = s_.substr(p, q - p);
            const int radix = base == "2" ? 2 : base == "8" ? 8 : base == "16" ? 16 : 0;
            return radix ? basedRun(q + 1, radix) : 0;
        }
        if (at(q) == '.' && isDigit(at(q + 1))) {
            real = true;
            q = decimalRun(q + 1);
            if (at(q) == 'E' || at(q) == 'e') {
                size_t exponent = q + 1;
                if (at(exponent) == '+' || at(exponent) == '-')
                    ++exponent;
                if (!isDigit(at(exponent)))
                    return 0;
                q = decimalRun(exponent);
            }
        }
        return q;
    }

    /// End of a duration from `p` (after "T#"), or 0.
    size_t durationEnd(size_t p) const
    {
        if (at(p) == '-')
            ++p;
        int lastRank = -1;
        for (;;) {
            if (!isDigit(at(p)))
                return 0;
            size_t q = decimalRun(p);
            const bool fraction = at(q) == '.' && isDigit(at(q + 1));
            if (fraction)
                q = decimalRun(q + 1);
            size_t unitEnd = q;
            while (isLetter(at(unitEnd)))
                ++unitEnd;
            const int rank = unitRank(s_.substr(q, unitEnd - q));
            if (rank <= lastRank)
                return 0;
            lastRank = rank;
            p = unitEnd;
            const size_t next = at(p) == '_' ? p + 1 : p;
            if (fraction || !isDigit(at(next)))
                return p;
            p = next;
        }
    }

    /// End of the value of a typed literal from `p` (after the '#'), or 0.
    size_t typedValueEnd(LiteralType type, size_t p) const
    {
        bool real = false;
        switch (type) {
        case LiteralType::Duration:
            return durationEnd(p);
        case LiteralType::Bool: {
            size_t q = p;
            while (isIdentChar(at(q)))
                ++q;
            const std::string_view value = s_.substr(p, q - p);
            return value == "0" || value == "1" || sameWord(value, "TRUE")
                    || sameWord(value, "FALSE")
                ? q
                : 0;
        }
        case LiteralType::Signed:
        case LiteralType::Real:
            if (at(p) == '-' || at(p) == '+')
                ++p;
            [[fallthrough]];
        case LiteralType::Unsigned: {
            if (!isDigit(at(p)))
                return 0;
            const size_t q = numberEnd(p, real);
            return real && type != LiteralType::Real ? 0 : q;
        }
        case LiteralType::None:
            break;
        }
        return 0;
    }

    /// Refuses the malformed word from `p`; `end` is where the scan stopped.
    bool malformed(ParseError::Kind kind, size_t p, size_t end)
    {
        size_t q = std::max(end, p + 1);
        while (q < s_.size()
               && (isGlued(s_[q]) || ((s_[q] == '-' || s_[q] == '+') && s_[q - 1] == '#')))
            ++q;
        error_.kind = kind;
        error_.offset = p;
        error_.found = quotedPiece(s_.substr(p, q - p));
        return false;
    }

    /// Reads the next token into tok_, begin_, end_ (and mark_ for a typed literal); false
    /// with error_ set on a malformed literal or address.
    bool advance()
    {
        size_t p = end_;
        while (p < s_.size() && isBlank(s_[p]))
            ++p;
        begin_ = uint32_t(p);
        size_t q = p + 1;
        if (p >= s_.size()) {
            tok_ = Tok::End;
            q = p;
        } else if (isLetter(s_[p]) || s_[p] == '_') {
            while (isIdentChar(at(q)))
                ++q;
            if (at(q) == '#') {
                const size_t end = typedValueEnd(literalType(s_.substr(p, q - p)), q + 1);
                if (end == 0 || isGlued(at(end)))
                    return malformed(ParseError::BadConstant, p, std::max(end, q + 1));
                tok_ = Tok::Typed;
                mark_ = uint32_t(q);
                q = end;
            } else {
                tok_ = classifyWord(s_.substr(p, q - p));
            }
        } else if (isDigit(s_[p])) {
            bool real = false;
            q = numberEnd(p, real);
            if (q == 0 || isGlued(at(q)))
                return malformed(ParseError::BadConstant, p, q);
            tok_ = real ? Tok::Real : Tok::Int;
        } else if (s_[p] == '%') {
            q = addressEnd(p);
            if (q == 0 || isGlued(at(q)))
                return malformed(ParseError::BadAddress, p, q);
            tok_ = Tok::Address;
        } else {
            q = p + symbol(p);
        }
        end_ = uint32_t(q);
        return true;
    }

    Tok classifyWord(std::string_view word) const
    {
        for (const Word &w : operatorWords) {
            if (sameWord(word, w.text))
                return w.tok;
        }
        // Keywords and type names read as names here, so that a label such as "Exit" can be
        // given a valid name; the checks and the writers deal with them (see isKeyword).
        return Tok::Name;
    }

    size_t addressEnd(size_t p) const
    {
        size_t q = p + 1;
        if (std::string_view("IQM").find(upper(at(q))) == std::string_view::npos)
            return 0;
        ++q;
        if (at(q) && std::string_view("XBWDL").find(upper(at(q))) != std::string_view::npos)
            ++q;
        for (;;) {
            if (!isDigit(at(q)))
                return 0;
            while (isDigit(at(q)))
                ++q;
            if (at(q) != '.' || !isDigit(at(q + 1)))
                return q;
            ++q;
        }
    }

    /// Sets tok_ for the symbol at `p` and returns its length.
    size_t symbol(size_t p)
    {
        const char c = s_[p], next = at(p + 1);
        const auto two = [&](Tok tok) {
            tok_ = tok;
            return size_t(2);
        };
        const auto one = [&](Tok tok) {
            tok_ = tok;
            return size_t(1);
        };
        switch (c) {
        case '(':
            return next == '*' ? two(Tok::Comment) : one(Tok::LParen);
        case '/':
            return next == '/' || next == '*' ? two(Tok::Comment) : one(Tok::Slash);
        case '*':
            return next == '*' ? two(Tok::Power) : one(Tok::Star);
        case '<':
            return next == '>' ? two(Tok::Ne) : next == '=' ? two(Tok::Le) : one(Tok::Lt);
        case '>':
            return next == '=' ? two(Tok::Ge) : one(Tok::Gt);
        case ':':
            return next == '=' ? two(Tok::Other) : one(Tok::Other);
        case ')':
            return one(Tok::RParen);
        case ',':
            return one(Tok::Comma);
        case '+':
            return one(Tok::Plus);
        case '-':
            return one(Tok::Minus);
        case '&':
            return one(Tok::Amp);
        case '=':
            return one(Tok::Eq);
        case '.':
            return one(Tok::Dot);
        default:
            tok_ = Tok::Other;
            return std::max<size_t>(1, utf8Length(s_, p));
        }
    }

    /// How the current token reads in a message.
    std::string found() const
    {
        const std::string_view text = s_.substr(begin_, end_ - begin_);
        const auto c = static_cast<unsigned char>(text.empty() ? 0 : text[0]);
        if (tok_ == Tok::End)
            return "fin du prédicat";
        if (tok_ == Tok::Comment)
            return "début de commentaire " + quotedPiece(text);
        if (tok_ == Tok::Other && c == 0)
            return "caractère nul";
        if (tok_ == Tok::Other && (c < 0x20 || c == 0x7F || (c >= 0x80 && text.size() == 1))) {
            char octet[16];
            std::snprintf(octet, sizeof octet, "octet 0x%02X", c);
            return octet;
        }
        return quotedPiece(text);
    }

    bool fail(const char *expected)
    {
        error_.kind = ParseError::Unexpected;
        error_.offset = begin_;
        error_.expected = expected;
        error_.found = found();
        return false;
    }

    bool enter()
    {
        if (++depth_ <= MaxExprDepth)
            return true;
        error_.kind = ParseError::TooDeep;
        error_.offset = begin_;
        return false;
    }

    uint32_t add(ExprKind kind, uint32_t begin, uint32_t end, uint32_t mark,
                 std::initializer_list<uint32_t> children)
    {
        ExprNode node;
        node.kind = kind;
        node.begin = begin;
        node.end = end;
        node.mark = mark;
        node.firstChild = uint32_t(expr_.children_.size());
        node.childCount = uint32_t(children.size());
        expr_.children_.insert(expr_.children_.end(), children);
        expr_.nodes_.push_back(node);
        return uint32_t(expr_.nodes_.size() - 1);
    }

    uint32_t binary(int minLevel)
    {
        uint32_t lhs = unary();
        while (lhs != NoNode) {
            const BinaryOperator op = binaryOperator(tok_);
            if (op.level < minLevel)
                break;
            const uint32_t mark = begin_;
            const uint32_t rhs = advance() ? binary(op.level + 1) : NoNode;
            if (rhs == NoNode)
                return NoNode;
            lhs = add(op.kind, expr_.nodes_[lhs].begin, expr_.nodes_[rhs].end, mark, {lhs, rhs});
        }
        return lhs;
    }

    uint32_t unary()
    {
        const ExprKind kind = tok_ == Tok::Not ? ExprKind::Not
            : tok_ == Tok::Minus               ? ExprKind::Neg
            : tok_ == Tok::Plus                ? ExprKind::Plus
                                               : ExprKind::Name;
        if (kind == ExprKind::Name)
            return primary();
        const uint32_t mark = begin_;
        if (!enter() || !advance())
            return NoNode;
        const uint32_t operand = unary();
        if (operand == NoNode)
            return NoNode;
        --depth_;
        return add(kind, mark, expr_.nodes_[operand].end, mark, {operand});
    }

    uint32_t primary()
    {
        const uint32_t begin = begin_, end = end_;
        ExprKind kind;
        switch (tok_) {
        case Tok::LParen:
            return parenthesised();
        case Tok::Name:
            if (!advance())
                return NoNode;
            if (tok_ == Tok::LParen)
                return call(begin, end);
            if (tok_ == Tok::Dot) {
                // An output of a function block instance: T1.Q.
                const uint32_t dot = begin_;
                if (!advance())
                    return NoNode;
                if (tok_ != Tok::Name) {
                    fail("nom de la sortie du bloc");
                    return NoNode;
                }
                const uint32_t memberEnd = end_;
                if (!advance())
                    return NoNode;
                return add(ExprKind::Member, begin, memberEnd, dot, {});
            }
            return add(ExprKind::Name, begin, end, begin, {});
        case Tok::Int:
            kind = ExprKind::IntLiteral;
            break;
        case Tok::Real:
            kind = ExprKind::RealLiteral;
            break;
        case Tok::True:
        case Tok::False:
            kind = ExprKind::BoolLiteral;
            break;
        case Tok::Typed:
            kind = ExprKind::TypedLiteral;
            break;
        case Tok::Address:
            kind = ExprKind::DirectAddress;
            break;
        default:
            fail("opérande");
            return NoNode;
        }
        const uint32_t node
            = add(kind, begin, end, kind == ExprKind::TypedLiteral ? mark_ : begin, {});
        return advance() ? node : NoNode;
    }

    uint32_t parenthesised()
    {
        const uint32_t begin = begin_;
        if (!enter() || !advance())
            return NoNode;
        const uint32_t inner = binary(1);
        if (inner == NoNode)
            return NoNode;
        if (tok_ != Tok::RParen) {
            fail("« ) »");
            return NoNode;
        }
        const uint32_t node = add(ExprKind::Paren, begin, end_, begin, {inner});
        --depth_;
        return advance() ? node : NoNode;
    }

    uint32_t call(uint32_t begin, uint32_t nameEnd)
    {
        if (!enter() || !advance())
            return NoNode;
        std::vector<uint32_t> args;
        while (tok_ != Tok::RParen || !args.empty()) {
            const uint32_t arg = binary(1);
            if (arg == NoNode)
                return NoNode;
            args.push_back(arg);
            if (tok_ == Tok::RParen)
                break;
            if (tok_ != Tok::Comma) {
                fail("« , » ou « ) »");
                return NoNode;
            }
            if (!advance())
                return NoNode;
        }
        const uint32_t node = add(ExprKind::Call, begin, end_, nameEnd, {});
        ExprNode &callNode = expr_.nodes_[node];
        callNode.childCount = uint32_t(args.size());
        expr_.children_.insert(expr_.children_.end(), args.begin(), args.end());
        --depth_;
        return advance() ? node : NoNode;
    }
};

std::string ParseError::message() const
{
    switch (kind) {
    case Unexpected:
        return expected + (isFeminine(expected) ? " attendue, " : " attendu, ") + found
            + (isFeminine(found) ? " trouvée" : " trouvé");
    case TooDeep:
        return "expression trop imbriquée (plus de " + std::to_string(MaxExprDepth) + " niveaux)";
    case TooLong:
        return "prédicat trop long (4 Gio ou plus)";
    case BadConstant:
        return "constante " + found + " mal formée";
    case BadAddress:
        return "adresse " + found + " mal formée";
    }
    return std::string();
}

ParseResult parseExpression(std::string_view text)
{
    ParseResult result;
    result.ok = ExprParser(text, result.expr, result.error).parse();
    if (!result.ok)
        result.expr = Expr();
    return result;
}

namespace {

const char *kindName(ExprKind kind)
{
    static const char *const names[]
        = {"or",  "xor", "and", "eq",  "ne",  "lt",  "gt",  "le",  "ge",
           "add", "sub", "mul", "div", "mod", "pow", "not", "neg", "plus"};
    return names[static_cast<int>(kind)];
}

bool isLeaf(ExprKind kind)
{
    return kind >= ExprKind::Name && kind <= ExprKind::Member;
}

bool isComparison(ExprKind kind)
{
    return kind >= ExprKind::Eq && kind <= ExprKind::Ge;
}

} // namespace

std::string dumpExpr(const Expr &expr)
{
    std::string out;
    if (expr.isEmpty())
        return out;
    struct Step
    {
        uint32_t node, next;
    };
    std::vector<Step> stack {{expr.root(), 0}};
    while (!stack.empty()) {
        const Step step = stack.back();
        const ExprNode &node = expr.node(step.node);
        if (isLeaf(node.kind)) {
            out += expr.text(node);
            stack.pop_back();
            continue;
        }
        if (step.next == 0) {
            if (node.kind == ExprKind::Call)
                out.append("call ").append(expr.prefix(node));
            else if (node.kind != ExprKind::Paren)
                out += kindName(node.kind);
            out += '(';
        }
        if (step.next == node.childCount) {
            out += ')';
            stack.pop_back();
            continue;
        }
        if (step.next > 0)
            out += ", ";
        ++stack.back().next;
        stack.push_back({expr.child(node, step.next), 0});
    }
    return out;
}

std::vector<NameRef> nameUses(const Expr &expr)
{
    std::vector<NameRef> uses;
    const std::vector<ExprNode> &nodes = expr.nodes();
    const size_t count = nodes.size();
    // What each node gives by itself, then what its parent asks of it.
    std::vector<NameUse> gives(count, NameUse::Unknown), asked(count, NameUse::Bool);
    for (size_t i = 0; i < count; ++i) {
        const ExprNode &node = nodes[i];
        switch (node.kind) {
        case ExprKind::Paren:
            gives[i] = gives[expr.child(node, 0)];
            break;
        case ExprKind::Name:
        case ExprKind::Member:
        case ExprKind::Call:
            break;
        case ExprKind::TypedLiteral:
            gives[i] = sameWord(expr.prefix(node), "BOOL") ? NameUse::Bool : NameUse::Number;
            break;
        case ExprKind::DirectAddress: {
            const char size = upper(expr.text(node)[2]);
            gives[i] = isDigit(size) || size == 'X' ? NameUse::Bool : NameUse::Number;
            break;
        }
        case ExprKind::Add:
        case ExprKind::Sub:
        case ExprKind::Mul:
        case ExprKind::Div:
        case ExprKind::Mod:
        case ExprKind::Pow:
        case ExprKind::Neg:
        case ExprKind::Plus:
        case ExprKind::IntLiteral:
        case ExprKind::RealLiteral:
            gives[i] = NameUse::Number;
            break;
        default:
            gives[i] = NameUse::Bool;
        }
    }
    for (size_t i = count; i-- > 0;) {
        const ExprNode &node = nodes[i];
        for (uint32_t k = 0; k < node.childCount; ++k) {
            const bool logical = node.kind == ExprKind::Or || node.kind == ExprKind::Xor
                || node.kind == ExprKind::And || node.kind == ExprKind::Not;
            const bool equality = node.kind == ExprKind::Eq || node.kind == ExprKind::Ne;
            const NameUse use = node.kind == ExprKind::Paren ? asked[i]
                : node.kind == ExprKind::Call                ? NameUse::Unknown
                : logical || (equality && gives[expr.child(node, 1 - k)] == NameUse::Bool)
                ? NameUse::Bool
                : NameUse::Number;
            asked[expr.child(node, k)] = use;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (nodes[i].kind == ExprKind::Name)
            uses.push_back({expr.text(nodes[i]), nodes[i].begin, asked[i]});
    }
    return uses;
}

std::vector<NameConflict> useConflicts(const std::vector<NameRef> &uses)
{
    struct Seen
    {
        const NameRef *asBool = nullptr, *asNumber = nullptr;
    };
    std::vector<Seen> seen;
    std::unordered_map<std::string, size_t> index;
    for (const NameRef &ref : uses) {
        std::string key(ref.spelling);
        std::transform(key.begin(), key.end(), key.begin(), upper);
        const size_t at = index.emplace(key, seen.size()).first->second;
        if (at == seen.size())
            seen.emplace_back();
        if (ref.use == NameUse::Bool && !seen[at].asBool)
            seen[at].asBool = &ref;
        if (ref.use == NameUse::Number && !seen[at].asNumber)
            seen[at].asNumber = &ref;
    }
    std::vector<NameConflict> conflicts;
    for (const Seen &name : seen) {
        if (name.asBool && name.asNumber)
            conflicts.push_back({*name.asBool, *name.asNumber});
    }
    return conflicts;
}

namespace {

struct IntegerText
{
    uint64_t value = 0;
    bool based = false;
    bool tooLarge = false; ///< beyond 2^40, more than any use here needs
};

IntegerText integerText(std::string_view text)
{
    IntegerText result;
    const size_t hash = text.find('#');
    uint64_t base = 10;
    if (hash != std::string_view::npos) {
        result.based = true;
        base = text[0] == '2' ? 2 : text[0] == '8' ? 8 : 16;
        text.remove_prefix(hash + 1);
    }
    for (char c : text) {
        if (c == '_')
            continue;
        result.value = result.value * base + uint64_t(digitValue(c));
        if (result.value > (uint64_t(1) << 40)) {
            result.tooLarge = true;
            return result;
        }
    }
    return result;
}

constexpr uint64_t TwoPow31 = uint64_t(1) << 31;

/// A literal's DINT value: decimal up to 2^31 - 1 (2^31 as the operand of a unary -, giving
/// the bit pattern that the minus keeps), based up to 16#FFFFFFFF as a bit pattern.
std::optional<int32_t> dintLiteral(std::string_view text, bool negated)
{
    const IntegerText literal = integerText(text);
    if (literal.tooLarge)
        return std::nullopt;
    if (literal.value < TwoPow31 || (literal.based && literal.value <= 0xFFFFFFFFu)
        || (negated && literal.value == TwoPow31))
        return int32_t(uint32_t(literal.value));
    return std::nullopt;
}

int32_t wrap(int64_t value)
{
    return int32_t(uint32_t(uint64_t(value)));
}

uint32_t strip(const Expr &expr, uint32_t index)
{
    while (expr.node(index).kind == ExprKind::Paren)
        index = expr.child(expr.node(index), 0);
    return index;
}

ExprKind mirrored(ExprKind kind)
{
    switch (kind) {
    case ExprKind::Lt:
        return ExprKind::Gt;
    case ExprKind::Gt:
        return ExprKind::Lt;
    case ExprKind::Le:
        return ExprKind::Ge;
    case ExprKind::Ge:
        return ExprKind::Le;
    default:
        return kind;
    }
}

/// The orderings of two operands under which a comparison holds: 1 for less, 2 for equal, 4
/// for greater. Two comparisons of the same operands with no ordering in common never both hold.
int orderings(ExprKind kind)
{
    switch (kind) {
    case ExprKind::Lt:
        return 1;
    case ExprKind::Eq:
        return 2;
    case ExprKind::Gt:
        return 4;
    case ExprKind::Le:
        return 3;
    case ExprKind::Ge:
        return 6;
    default:
        return 5;
    }
}

/// The values satisfying `operand <kind> constant`, as an interval over any ordered type.
struct Range
{
    ExprKind kind;
    int64_t constant;

    bool hasLow() const
    {
        return kind == ExprKind::Eq || kind == ExprKind::Gt || kind == ExprKind::Ge;
    }
    bool hasHigh() const
    {
        return kind == ExprKind::Eq || kind == ExprKind::Lt || kind == ExprKind::Le;
    }
    /// True when every value of this range lies below every value of `other`.
    bool below(const Range &other) const
    {
        if (!hasHigh() || !other.hasLow())
            return false;
        return constant < other.constant
            || (constant == other.constant && (kind == ExprKind::Lt || other.kind == ExprKind::Gt));
    }
    bool disjoint(const Range &other) const
    {
        if (kind == ExprKind::Ne || other.kind == ExprKind::Ne)
            return kind != other.kind && constant == other.constant
                && (kind == ExprKind::Eq || other.kind == ExprKind::Eq);
        return below(other) || other.below(*this);
    }
};

/// Structural comparison of subtrees of two predicates, within a bounded amount of work.
class Comparer
{
public:
    Comparer(const Expr &a, const Expr &b)
        : a_(a)
        , b_(b)
    { }

    /// Whether node `i` of the first predicate and node `j` of the second are the same.
    bool same(uint32_t i, uint32_t j)
    {
        stack_.assign(1, {i, j});
        while (!stack_.empty()) {
            if (--budget_ < 0)
                return false;
            const uint32_t p = strip(a_, stack_.back().first);
            const uint32_t q = strip(b_, stack_.back().second);
            stack_.pop_back();
            const ExprNode &m = a_.node(p), &n = b_.node(q);
            if (m.kind != n.kind || m.childCount != n.childCount || m.kind == ExprKind::Call)
                return false;
            if (m.kind == ExprKind::IntLiteral) {
                const IntegerText u = integerText(a_.text(m)), v = integerText(b_.text(n));
                if (u.tooLarge || v.tooLarge ? a_.text(m) != b_.text(n) : u.value != v.value)
                    return false;
            } else if (isLeaf(m.kind) && !sameWord(a_.text(m), b_.text(n))) {
                return false;
            }
            for (uint32_t k = 0; k < m.childCount; ++k)
                stack_.emplace_back(a_.child(m, k), b_.child(n, k));
        }
        return true;
    }

    bool spent() { return --budget_ < 0; }

private:
    const Expr &a_, &b_;
    std::vector<std::pair<uint32_t, uint32_t>> stack_;
    int64_t budget_ = 4'000'000;
};

std::vector<uint32_t> conjuncts(const Expr &expr)
{
    std::vector<uint32_t> found, stack {expr.root()};
    while (!stack.empty()) {
        const uint32_t index = strip(expr, stack.back());
        stack.pop_back();
        const ExprNode &node = expr.node(index);
        if (node.kind == ExprKind::And) {
            stack.push_back(expr.child(node, 1));
            stack.push_back(expr.child(node, 0));
        } else {
            found.push_back(index);
        }
    }
    return found;
}

bool isFalse(const Expr &expr, uint32_t index)
{
    const ExprNode &node = expr.node(strip(expr, index));
    if (node.kind == ExprKind::Not) {
        const ExprNode &operand = expr.node(strip(expr, expr.child(node, 0)));
        return operand.kind == ExprKind::BoolLiteral && sameWord(expr.text(operand), "TRUE");
    }
    return node.kind == ExprKind::BoolLiteral && sameWord(expr.text(node), "FALSE");
}

/// The integer value of a constant operand: an integer literal that fits a DINT, its negation,
/// FALSE as 0 or TRUE as 1. Based literals count only below 2^31, where all types agree.
std::optional<int64_t> constantValue(const Expr &expr, uint32_t index)
{
    const ExprNode &node = expr.node(strip(expr, index));
    if (node.kind == ExprKind::BoolLiteral)
        return sameWord(expr.text(node), "TRUE") ? 1 : 0;
    const bool negated = node.kind == ExprKind::Neg;
    const ExprNode &literal = negated ? expr.node(expr.child(node, 0)) : node;
    if (literal.kind != ExprKind::IntLiteral)
        return std::nullopt;
    const IntegerText text = integerText(expr.text(literal));
    if (text.tooLarge || text.value > (negated ? TwoPow31 : TwoPow31 - 1))
        return std::nullopt;
    return negated ? -int64_t(text.value) : int64_t(text.value);
}

/// For `operand <op> constant` or `constant <op> operand`: the operand and its range.
std::optional<std::pair<uint32_t, Range>> constantComparison(const Expr &expr, const ExprNode &node)
{
    const uint32_t left = expr.child(node, 0), right = expr.child(node, 1);
    if (const auto value = constantValue(expr, right))
        return std::make_pair(left, Range {node.kind, *value});
    if (const auto value = constantValue(expr, left))
        return std::make_pair(right, Range {mirrored(node.kind), *value});
    return std::nullopt;
}

bool contradict(Comparer &cmp, const Expr &a, uint32_t x, const Expr &b, uint32_t y)
{
    x = strip(a, x);
    y = strip(b, y);
    const ExprNode &m = a.node(x), &n = b.node(y);
    if (m.kind == ExprKind::Not && cmp.same(a.child(m, 0), y))
        return true;
    if (n.kind == ExprKind::Not && cmp.same(x, b.child(n, 0)))
        return true;
    if (!isComparison(m.kind) || !isComparison(n.kind))
        return false;
    const uint32_t ml = a.child(m, 0), mr = a.child(m, 1), nl = b.child(n, 0), nr = b.child(n, 1);
    if (!(orderings(m.kind) & orderings(n.kind)) && cmp.same(ml, nl) && cmp.same(mr, nr))
        return true;
    if (!(orderings(mirrored(m.kind)) & orderings(n.kind)) && cmp.same(ml, nr) && cmp.same(mr, nl))
        return true;
    const auto p = constantComparison(a, m), q = constantComparison(b, n);
    return p && q && p->second.disjoint(q->second) && cmp.same(p->first, q->first);
}

/// Whether a conjunct of `a` contradicts one of `b`, each pair considered once when `a` is `b`.
bool contradiction(const Expr &a, const std::vector<uint32_t> &left, const Expr &b,
                   const std::vector<uint32_t> &right)
{
    Comparer cmp(a, b);
    for (size_t i = 0; i < left.size(); ++i) {
        if (isFalse(a, left[i]))
            return true;
        for (size_t j = &a == &b ? i + 1 : 0; j < right.size(); ++j) {
            if (cmp.spent())
                return false;
            if (contradict(cmp, a, left[i], b, right[j]))
                return true;
        }
    }
    return false;
}

} // namespace

bool provablyExclusive(const Expr &a, const Expr &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const std::vector<uint32_t> left = conjuncts(a), right = conjuncts(b);
    // A predicate that contradicts itself never holds, so it is exclusive with any other.
    return contradiction(a, left, a, left) || contradiction(b, right, b, right)
        || contradiction(a, left, b, right);
}

namespace {

const char *operatorText(const Expr &expr, const ExprNode &node)
{
    static const char *const symbols[] = {"OR", "XOR", "AND", "=", "<>",  "<",  ">",   "<=", ">=",
                                          "+",  "-",   "*",   "/", "MOD", "**", "NOT", "-",  "+"};
    if (node.kind == ExprKind::And && expr.text()[node.mark] == '&')
        return "&";
    return symbols[static_cast<int>(node.kind)];
}

const char *typeName(const Value &value)
{
    return value.isBool ? "BOOL" : "DINT";
}

int32_t power(int32_t base, int32_t exponent)
{
    if (exponent < 0)
        return base == 1 ? 1 : base == -1 ? (exponent % 2 ? -1 : 1) : 0;
    uint32_t result = 1, factor = uint32_t(base);
    for (uint32_t e = uint32_t(exponent); e; e >>= 1) {
        if (e & 1)
            result *= factor;
        factor *= factor;
    }
    return int32_t(result);
}

} // namespace

EvalResult evaluate(const Expr &expr, const NameLookup &lookup)
{
    EvalResult result;
    result.value = Value::boolean(true);
    const std::vector<ExprNode> &nodes = expr.nodes();
    std::vector<Value> values(nodes.size());
    const auto stop = [&](EvalResult::Status status, uint32_t offset, std::string message) {
        result.status = status;
        result.offset = offset;
        result.message = std::move(message);
        return result;
    };
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ExprNode &node = nodes[i];
        const std::string_view text = expr.text(node);
        const Value x = node.childCount ? values[expr.child(node, 0)] : Value();
        const Value y = node.childCount > 1 ? values[expr.child(node, 1)] : Value();
        const bool binary = node.childCount == 2;
        if (node.kind >= ExprKind::Add && node.kind <= ExprKind::Plus && node.kind != ExprKind::Not
            && (x.isBool || (binary && y.isBool)))
            return stop(EvalResult::Failed, node.mark,
                        quotedPiece(operatorText(expr, node)) + " appliqué à un BOOL");
        if (binary && x.isBool != y.isBool && node.kind != ExprKind::Call)
            return stop(EvalResult::Failed, node.mark,
                        quotedPiece(operatorText(expr, node)) + " entre un " + typeName(x)
                            + " et un " + typeName(y));
        Value &v = values[i];
        switch (node.kind) {
        case ExprKind::Or:
            v = Value {x.isBool, x.number | y.number};
            break;
        case ExprKind::Xor:
            v = Value {x.isBool, x.number ^ y.number};
            break;
        case ExprKind::And:
            v = Value {x.isBool, x.number & y.number};
            break;
        case ExprKind::Eq:
            v = Value::boolean(x.number == y.number);
            break;
        case ExprKind::Ne:
            v = Value::boolean(x.number != y.number);
            break;
        case ExprKind::Lt:
            v = Value::boolean(x.number < y.number);
            break;
        case ExprKind::Gt:
            v = Value::boolean(x.number > y.number);
            break;
        case ExprKind::Le:
            v = Value::boolean(x.number <= y.number);
            break;
        case ExprKind::Ge:
            v = Value::boolean(x.number >= y.number);
            break;
        case ExprKind::Add:
            v = Value::dint(wrap(int64_t(x.number) + y.number));
            break;
        case ExprKind::Sub:
            v = Value::dint(wrap(int64_t(x.number) - y.number));
            break;
        case ExprKind::Mul:
            v = Value::dint(wrap(int64_t(x.number) * y.number));
            break;
        case ExprKind::Div:
        case ExprKind::Mod:
            if (y.number == 0)
                return stop(EvalResult::Failed, node.mark,
                            node.kind == ExprKind::Div ? "division par zéro" : "« MOD » par zéro");
            if (y.number == -1)
                v = Value::dint(node.kind == ExprKind::Div ? wrap(-int64_t(x.number)) : 0);
            else
                v = Value::dint(node.kind == ExprKind::Div ? x.number / y.number
                                                           : x.number % y.number);
            break;
        case ExprKind::Pow:
            if (x.number == 0 && y.number < 0)
                return stop(EvalResult::Failed, node.mark, "zéro élevé à une puissance négative");
            v = Value::dint(power(x.number, y.number));
            break;
        case ExprKind::Not:
            v = x.isBool ? Value::boolean(!x.number) : Value::dint(~x.number);
            break;
        case ExprKind::Neg:
            v = Value::dint(wrap(-int64_t(x.number)));
            break;
        case ExprKind::Plus:
        case ExprKind::Paren:
            v = x;
            break;
        case ExprKind::Name: {
            const std::optional<Value> found = lookup ? lookup(text) : std::nullopt;
            if (!found)
                return stop(EvalResult::Failed, node.begin,
                            "variable " + quotedPiece(text) + " sans valeur");
            v = *found;
            break;
        }
        case ExprKind::IntLiteral: {
            const bool negated = i + 1 < nodes.size() && nodes[i + 1].kind == ExprKind::Neg;
            const std::optional<int32_t> literal = dintLiteral(text, negated);
            if (!literal)
                return stop(EvalResult::Failed, node.begin,
                            "constante " + quotedPiece(text) + " hors des limites d'un DINT");
            v = Value::dint(*literal);
            break;
        }
        case ExprKind::BoolLiteral:
            v = Value::boolean(sameWord(text, "TRUE"));
            break;
        case ExprKind::RealLiteral:
            return stop(EvalResult::Unsupported, node.begin,
                        "constante réelle " + quotedPiece(text) + " non évaluable");
        case ExprKind::TypedLiteral:
            return stop(EvalResult::Unsupported, node.begin,
                        "constante " + quotedPiece(text) + " non évaluable");
        case ExprKind::DirectAddress:
            return stop(EvalResult::Unsupported, node.begin,
                        "adresse " + quotedPiece(text) + " non évaluable");
        case ExprKind::Member:
            return stop(EvalResult::Unsupported, node.begin,
                        "sortie de bloc " + quotedPiece(text) + " non évaluable");
        case ExprKind::Call:
            return stop(EvalResult::Unsupported, node.begin,
                        "appel de " + quotedPiece(expr.prefix(node)) + " non évaluable");
        }
    }
    if (!nodes.empty())
        result.value = values.back();
    return result;
}

std::string renderExpr(const Expr &expr, const Renamer &rename)
{
    const std::string &text = expr.text();
    std::string out;
    size_t copied = 0;
    for (const ExprNode &node : expr.nodes()) {
        if (node.kind != ExprKind::Name || !rename)
            continue;
        if (std::optional<std::string> name = rename(expr.text(node))) {
            out.append(text, copied, node.begin - copied).append(*name);
            copied = node.end;
        }
    }
    return out.append(text, copied, std::string::npos);
}

} // namespace trilette
