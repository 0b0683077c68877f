#pragma once

// The renaming rule of the complete formats (POU and PLCopen XML): every name of the net made a
// valid identifier, free of reserved words and of the names already given; and what keeps a
// name as the statement list writes it from compiling.

#include "st/nameindex.h"
#include "util/diagnostic.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trilette {

/// What a name given stands for in the program: one identifier, or the stem of a place's two
/// marking variables (the stem followed by p, and by s).
enum class GivenAs : uint8_t { Identifier, PlaceStem };

/// The names a complete program gives: identifiers compared without case, each made valid by
/// makeIdentifier and kept apart from the reserved words and from every identifier given so far.
/// Each name that changes gets a note saying why.
class Namer
{
public:
    explicit Namer(std::string_view fileName, Diagnostics &diagnostics)
        : file_(fileName)
        , diagnostics_(diagnostics)
    { }

    /// Makes room for `count` more names whose texts (names and descriptions) add up to about
    /// `textBytes`, so that a large net's names are held without growing (which would need the
    /// old room and the new at once).
    void expect(size_t count, size_t textBytes);

    /// Reserves an identifier that the program itself uses.
    void reserve(std::string_view identifier, std::string_view what);

    /// A free name for `original`, made valid (see makeIdentifier) and then, when what it stands
    /// for (`use`) is a reserved word or an identifier already given, followed by _2, _3...; a
    /// note says why the name changed, at `line` and `column`. `what` describes the named thing
    /// ("la place « P1 »") in the notes of later names that it keeps from their spelling.
    std::string give(std::string_view original, std::string_view prefix, GivenAs use,
                     const std::string &what, int line, int column);

    void error(int line, int column, std::string message);

private:
    std::string_view name(uint32_t id) const;
    std::string_view what(uint32_t id) const;
    GivenAs use(uint32_t id) const;
    /// The name given whose identifiers include `identifier`, or NameIndex<>::none.
    uint32_t holder(std::string_view identifier) const;
    void add(std::string_view name, GivenAs use, std::string_view what);

    std::string file_;
    Diagnostics &diagnostics_;
    // A net of a million names gives a million names here: each is one record in one text (its
    // lengths, its use, the name and its description), found through an index of 8-byte slots,
    // rather than an entry of a map of strings for each identifier.
    std::string records_;
    NameIndex<FoldedNames> index_;
    // For a made-valid name (upper-cased, after its use) that needed more than one added
    // number, the number to try after the first: every lower one is taken, and names are never
    // taken back. Without it, the n-th of n names that differ only in case tries n numbers.
    std::unordered_map<std::string, int> nextNumber_;
};

/// Keys under which names made valid (by makeIdentifier) may meet, that is take one another's
/// identifiers. The rule only adds "_2", "_3"... and a place's "p" and "s", so two names meet
/// only when one is the other less an end of that shape; the keys of a name are the name and the
/// name less such an end (see forEachClashKey), without case. Names that share no key never
/// change one another's spelling.
class ClashKeys
{
public:
    /// A set that every name meets.
    static ClashKeys everything();
    /// Whether `identifier` shares a key with the set.
    bool meets(std::string_view identifier) const;
    /// Adds the keys of `identifier`; true when one of them is new.
    bool add(std::string_view identifier);
    bool empty() const { return keys_.empty() && !everything_; }

private:
    std::string_view key(uint32_t id) const;

    // The keys one after the other in one text, each found by where it starts and its length.
    std::string text_;
    std::vector<std::pair<size_t, uint32_t>> keys_;
    NameIndex<FoldedNames> index_;
    bool everything_ = false;
};

/// Why a spelling that st writes cannot compile, or nothing when it can. The blanks around an
/// output's name stand apart from it in the program.
std::string stSpellingFault(std::string_view spelling);

} // namespace trilette
