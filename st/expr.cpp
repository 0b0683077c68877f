#include "st/expr.h"

#include "st/words.h"
#include "util/diagnostic.h"
#include "util/utf8.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <utility>

namespace trilette {

namespace {

constexpr uint32_t NoNode = std::numeric_limits<uint32_t>::max();

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

int digitValue(char c)
{
    if (isDigit(c))
        return c - '0';
    c = upperAscii(c);
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
        if (std::string_view("IQM").find(upperAscii(at(q))) == std::string_view::npos)
            return 0;
        ++q;
        if (at(q) && std::string_view("XBWDL").find(upperAscii(at(q))) != std::string_view::npos)
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

uint32_t stripParens(const Expr &expr, uint32_t index)
{
    while (expr.node(index).kind == ExprKind::Paren)
        index = expr.child(expr.node(index), 0);
    return index;
}

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

} // namespace trilette
