#pragma once

#include "codegen/symbols.h"
#include "util/diagnostic.h"
#include "util/textsink.h"

#include <string>
#include <string_view>

namespace trilette {

/// What a front end adds to a conversion run: the window's progress bar, its cancel and debug
/// log. The run calls it from its threads, one call at a time.
class ConversionObserver
{
public:
    virtual ~ConversionObserver() = default;
    /// The run reached a progress value (1 to 100), each one higher than the last: the bytes of
    /// the net read, then the bytes of the outputs written, then 100 once they are in place.
    virtual void progress(int value) = 0;
    /// One line of the run's debug log.
    virtual void debugLine(const std::string &text) = 0;
    /// Asked between blocks read and written: true stops the run, which then writes nothing.
    virtual bool cancelled() { return false; }
};

/// What the program is written as.
enum class OutputFormat {
    /// The statement list of the net, NAME_ST.txt, names as they stand.
    St,
    /// A complete IEC 61131-3 compilation unit, NAME.st: the PROGRAM with its declarations, and
    /// a CONFIGURATION that runs it.
    Pou,
    /// The same program as a PLCopen XML project, NAME.xml.
    PlcOpen,
};

/// One net to convert. Paths are in the file system's encoding.
struct ConversionJob
{
    std::string netPath;
    /// Folder of the two outputs; empty for the current directory.
    std::string outputDir;
    /// Stem of the outputs' names (see baseNameFor).
    std::string baseName;
    OutputFormat format = OutputFormat::St;
    /// The unit of the net's time intervals, for the timers of a complete program.
    TimeUnit timeUnit = TimeUnit::Seconds;
    /// Read and check the net only: nothing is written.
    bool checkOnly = false;
    /// Warnings count as errors (they then stop the outputs), for build pipelines.
    bool warningsAreErrors = false;
};

struct ConversionResult
{
    /// Paths of the structure log and the program file.
    std::string logPath;
    std::string programPath;
    /// Everything the run has to say about the net and its outputs, in the order met.
    Diagnostics diagnostics;
    /// Whether both outputs were written and put in place.
    bool written = false;
    /// Whether the observer stopped the run; nothing was written, a note says so.
    bool cancelled = false;
    bool ok() const { return !diagnostics.hasErrors(); }
};

/// The name of the program file for a base name: NAME_ST.txt, NAME.st or NAME.xml.
std::string programFileName(const std::string &baseName, OutputFormat format);

/// The file name less its last four characters (whatever they are), or "Ex" for a name of four
/// characters or fewer. Characters are counted in UTF-8; an invalid byte counts as one.
std::string baseNameFor(std::string_view fileName);

/// Reads and checks the net, renders the structure log and the ST program, writes both beside
/// their final names and puts them in place together: both outputs are replaced, or neither, so
/// a failed run never leaves a truncated file or a new log beside an old program. A net that
/// cannot be read, that is no text file, or whose checks find an error writes nothing. The
/// diagnostics come sorted by line, those about the whole file last. Traces (the reader's lines,
/// "Ici1") go to `trace`, null for none.
ConversionResult convertNet(const ConversionJob &job, TextSink *trace,
                            ConversionObserver *observer = nullptr);

} // namespace trilette
