#pragma once

#include "net/net.h"
#include "util/diagnostic.h"
#include "util/textsink.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace trilette {

/// How a read ended.
enum class ReadResult {
    /// The net was read to its end line or to the end of the file.
    Done,
    /// The file could not be opened or read. The net holds what the lines before a failed read
    /// gave, and is not to be used.
    NotOpened,
    /// The file holds a NUL byte, so it is no text file (an image, say). The net holds what the
    /// lines before it gave, and is not to be used.
    NotText,
    /// The reading was stopped when asked; the net holds what was read until then.
    Cancelled,
};

/// Told, after each block of the file, how many bytes have been read of how many (0 when the
/// size is unknown); answers false to stop the reading.
using ReadProgress = std::function<bool(uint64_t bytesRead, uint64_t fileSize)>;

/// Reads the net file at `path` (in the file system's encoding) into `net`, tracing every line
/// on `trace` (null for no traces) and reporting what it meets to `diagnostics` (null for none):
/// a file that cannot be read or is no text, lines skipped for a missing token, markings and
/// weights stopped at the 32-bit limit, intervals and arc prefixes ignored, a missing end line, a
/// net with nothing in it. `progress`, when given, follows the reading and may stop it.
ReadResult readNetFile(const std::string &path, Net &net, TextSink *trace,
                       Diagnostics *diagnostics = nullptr, const ReadProgress &progress = {});

/// Reads net text already in memory; `fileName` names it in diagnostics. A NUL byte ends the
/// text of its line, as in a C string.
ReadResult readNetText(std::string_view text, std::string_view fileName, Net &net, TextSink *trace,
                       Diagnostics *diagnostics = nullptr);

} // namespace trilette
