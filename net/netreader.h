#pragma once

#include "net/net.h"
#include "util/textsink.h"

#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// Result of a read: the net was read to its end line or to the end of the file.
constexpr int ReadDone = 1;
/// Result of a read: the file could not be opened or read; the net is untouched.
constexpr int ReadNotOpened = -1;
/// Result of a read: the file holds a NUL byte, so it is no text file (an image, say); the net
/// is untouched.
constexpr int ReadNotText = -2;

/// What a read met besides the net itself, for warnings to the user.
struct ReadSummary
{
    /// Lines skipped because a token that their handler reads is missing.
    int ignoredLines = 0;
    /// Whether reading ended at an end line ('h') rather than at the end of the file.
    bool endLineSeen = false;
};

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
/// on `trace` (null for no traces). Returns ReadDone, ReadNotOpened or ReadNotText.
int readNetFile(const std::string &path, Net &net, TextSink *trace, ReadSummary *summary = nullptr);

/// Reads net text already in memory; `fileName` names it in diagnostics. A NUL byte ends the
/// text of its line, as in a C string.
int readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace,
                ReadSummary *summary = nullptr);

/// Turns a braced label into one token: each brace becomes a blank and each blank between
/// braces an '@'. Braces do not nest.
void protectBraces(std::string &line);

/// Splits `text` at `delimiter` into `tokens` and returns their count. Empty pieces are dropped,
/// except that the rest after the last delimiter always counts, as an absent token when empty.
int splitString(std::string_view text, char delimiter, Tokens &tokens);

/// Reads a decimal integer from its leading digits: blanks, a sign, digits and an optional
/// multiplier K (10^3) or M (10^6) right after them; saturates at the 32-bit limits.
int32_t readInteger(std::string_view text);

/// Handles a place line; false when the line lacks a token and is skipped.
bool addPlace(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace);
/// Handles a transition line; false when the line lacks a token and is skipped.
bool addTransition(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace);
/// Handles an arc line: attaches it to the transition that one of its ends names; false when
/// the line lacks a token and is skipped.
bool addArc(Net &net, const Tokens &tokens, const LineRef &line, TextSink *trace);

} // namespace trilette
