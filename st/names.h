#pragma once

// The renaming rule of the complete formats (POU and PLCopen XML): every name of the net made a
// valid identifier, free of reserved words and of the names already given; and what keeps a
// name as the statement list writes it from compiling.

#include "util/diagnostic.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace trilette {

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

    /// Reserves an identifier that the program itself uses.
    void reserve(std::string_view identifier, std::string what);

    /// A free identifier for `original`, made valid (see makeIdentifier) and then, when it (with
    /// each of `suffixes` appended) is reserved or already given, followed by _2, _3...; a note
    /// says why the name changed, at `line` and `column`.
    std::string give(std::string_view original, std::string_view prefix,
                     std::initializer_list<std::string_view> suffixes, const std::string &what,
                     int line, int column);

    void error(int line, int column, std::string message);

private:
    std::string file_;
    Diagnostics &diagnostics_;
    std::unordered_map<std::string, std::string> taken_;
};

/// Why a spelling that st writes cannot compile, or nothing when it can. The blanks around an
/// output's name stand apart from it in the program.
std::string stSpellingFault(std::string_view spelling);

} // namespace trilette
