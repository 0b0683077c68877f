#pragma once

#include "util/textsink.h"

#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// What a front end adds to a conversion run: the window's progress bar and debug log.
class ConversionObserver
{
public:
    virtual ~ConversionObserver() = default;
    /// The run reached a progress value (10 to 100).
    virtual void progress(int value) = 0;
    /// One line of the run's debug log.
    virtual void debugLine(const std::string &text) = 0;
};

/// One net to convert. Paths are in the file system's encoding.
struct ConversionJob
{
    std::string netPath;
    /// Folder of the two outputs; empty for the current directory.
    std::string outputDir;
    /// Stem of the outputs' names (see baseNameFor).
    std::string baseName;
};

/// What went wrong in a run, with the file concerned.
struct ConversionError
{
    enum Kind { NetNotRead, NetNotText, OutputNotWritten };
    Kind kind;
    std::string path;
    /// One French line that names the file.
    std::string message() const;
};

struct ConversionResult
{
    /// Paths of the structure log and the ST program file.
    std::string logPath;
    std::string stPath;
    std::vector<ConversionError> errors;
    /// French lines about a net that was converted but looks damaged (skipped lines, no end
    /// line, nothing in it).
    std::vector<std::string> warnings;
    bool ok() const { return errors.empty(); }
};

/// The file name less its last four characters (whatever they are), or "Ex" for a name of four
/// characters or fewer. Characters are counted in UTF-8; an invalid byte counts as one.
std::string baseNameFor(std::string_view fileName);

/// Reads the net, then writes the structure log and the ST program beside each other. A net
/// that cannot be read, or that is no text file, writes nothing. Each output replaces an earlier
/// file of its name only once it is complete, so a failed run never leaves a truncated file. Traces
/// (the reader's lines, "Ici1") go to `trace`, null for none.
ConversionResult convertNet(const ConversionJob &job, TextSink *trace,
                            ConversionObserver *observer = nullptr);

} // namespace trilette
