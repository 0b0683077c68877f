#pragma once

#include "net.h"
#include "textsink.h"

#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// Result of a read: the net was read to its end line or to the end of the file.
constexpr int ReadDone = 1;
/// Result of a read: the file could not be opened or read; the net is untouched.
constexpr int ReadNotOpened = -1;

/// The tokens of one line: views into the line. An absent token is an empty view (a present
/// token is never empty).
using Tokens = std::vector<std::string_view>;

/// Where a line came from, for the reader's own diagnostics.
struct LineRef
{
    std::string_view fileName;
    int number = 0;
};

/// Reads the net file at `path` (in the file system's encoding) into `net`, tracing every line
/// on `trace` (null for no traces). Returns ReadDone or ReadNotOpened.
int readNetFile(const std::string &path, Net &net, TextSink *trace);

/// Reads net text already in memory; `fileName` names it in diagnostics.
int readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace);

/// Turns a braced label into one token: each brace becomes a blank and each blank between
/// braces an '@'. Braces do not nest.
void protectBraces(std::string &line);

/// Splits `text` at `delimiter` into `tokens` and returns their count. Empty pieces are dropped,
/// except that the rest after the last delimiter always counts, as an absent token when empty.
int splitString(std::string_view text, char delimiter, Tokens &tokens);

/// Reads a decimal integer from its leading digits: blanks, a sign, digits and an optional
/// multiplier K (10^3) or M (10^6) right after them; saturates at the 32-bit limits.
int32_t readInteger(std::string_view text);

/// Handles a place line.
void addPlace(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace);
/// Handles a transition line.
void addTransition(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace);
/// Handles an arc line: attaches it to the transition that one of its ends names.
void addArc(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace);

} // namespace trilette
