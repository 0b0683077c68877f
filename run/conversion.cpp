#include "run/conversion.h"

#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "util/fileio.h"
#include "util/utf8.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace trilette {

namespace {

/// Thrown from an output's block hook to stop a cancelled run; caught within the run.
struct Cancelled
{
};

/// The run's progress as the observer sees it: the bytes of the net read take the bar to
/// `readEnd`, the bytes of the outputs written (against an estimate from the net's size) to
/// `writtenEnd`, their commit to 100. Each value is reported once, in increasing order, from
/// whichever thread reaches it.
class RunProgress
{
public:
    static constexpr int readEnd = 50, writtenEnd = 95;

    explicit RunProgress(ConversionObserver *observer)
        : observer_(observer)
    { }
    void reach(int value)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (observer_ && value > last_) {
            last_ = value;
            observer_->progress(value);
        }
    }
    bool cancelled() const { return observer_ && observer_->cancelled(); }
    /// Follows the reading; false to stop it.
    bool read(uint64_t bytes, uint64_t size)
    {
        netSize_ = size;
        if (size > 0)
            reach(int(readEnd * std::min<uint64_t>(bytes, size) / size));
        return !cancelled();
    }
    /// Follows an output: reports the blocks it passes on, and stops the run when asked.
    void watch(TextSink &out)
    {
        out.setBlockHook([this, last = size_t(0)](size_t passedOn) mutable {
            written_ += passedOn - last;
            last = passedOn;
            // The log is about as large as the net, a program about half as large again.
            const uint64_t expected = netSize_ * 5 / 2;
            if (expected > 0)
                reach(readEnd
                      + int((writtenEnd - readEnd) * std::min<uint64_t>(written_, expected)
                            / expected));
            if (cancelled())
                throw Cancelled();
        });
    }

private:
    ConversionObserver *observer_;
    std::mutex mutex_;
    int last_ = 0;
    uint64_t netSize_ = 0;
    std::atomic<uint64_t> written_ {0};
};

void debug(ConversionObserver *observer, const std::string &text)
{
    if (observer)
        observer->debugLine(text);
}

/// Runs `beside` on a second thread while `here` runs on this one, or one after the other when
/// no thread can be had. An exception from either reaches the caller once both have ended: none
/// ever meets a thread that is still joinable.
template<typename Beside, typename Here> void runSideBySide(Beside beside, Here here)
{
    std::exception_ptr besideFailure;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                beside();
            } catch (...) {
                besideFailure = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        beside();
        here();
        return;
    }
    try {
        here();
    } catch (...) {
        thread.join();
        throw;
    }
    thread.join();
    if (besideFailure)
        std::rethrow_exception(besideFailure);
}

/// The note of a run stopped by its observer.
void cancelledRun(ConversionResult &result, const std::string &netPath)
{
    result.cancelled = true;
    result.written = false;
    result.diagnostics = Diagnostics();
    result.diagnostics.add(Severity::Note, netPath, 0, 0,
                           "conversion annulée : aucun fichier n'est écrit");
}

/// Whether a file name has four characters or fewer (counted in UTF-8), so that its outputs are
/// named "Ex".
bool shortFileName(std::string_view name)
{
    size_t characters = 0;
    for (char c : name)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return characters <= 4;
}

void cannotWrite(Diagnostics &diagnostics, const std::string &path, const std::error_code &error)
{
    diagnostics.add(Severity::Error, path, 0, 0,
                    "impossible d'écrire le fichier : " + systemReason(error));
}

/// Names each file that a commit left otherwise than it should: errors when the commit failed,
/// warnings beside outputs that are in place.
void reportLeft(Diagnostics &diagnostics, const CommitReport &report, Severity severity)
{
    for (const LeftFile &left : report.left)
        diagnostics.add(severity, left.path, 0, 0, left.state);
}

} // namespace

std::string programFileName(const std::string &baseName, OutputFormat format)
{
    switch (format) {
    case OutputFormat::Pou:
        return baseName + ".st";
    case OutputFormat::PlcOpen:
        return baseName + ".xml";
    case OutputFormat::St:
        break;
    }
    return baseName + "_ST.txt";
}

std::string baseNameFor(std::string_view fileName)
{
    // Walk back over four characters: a UTF-8 sequence that ends there, or a lone byte that
    // is no UTF-8.
    size_t end = fileName.size();
    for (int dropped = 0; dropped < 4; ++dropped) {
        if (end == 0)
            return "Ex";
        size_t start = end - 1;
        for (size_t length = 2; length <= 4 && length <= end; ++length)
            if (utf8Length(fileName, end - length) == length)
                start = end - length;
        end = start;
    }
    if (end == 0)
        return "Ex";
    return std::string(fileName.substr(0, end));
}

namespace {

/// The checks of a net shared between two threads, each group into its own diagnostics. The
/// group that searches the net by name runs first, on the second thread, after which the net's
/// indexes go, before the peak of memory; the others are taken in turn by whichever thread is
/// free, those that cost most first. Appended in the order of the groups, the findings are what
/// the checks say when run one after the other.
class SharedChecks
{
public:
    SharedChecks(Net &net, const std::string &netPath, bool complete, const Priorities &priorities,
                 const RunProgress &progress)
        : net_(net)
        , netPath_(netPath)
        , options_ {complete, complete}
        , priorities_(priorities)
        , progress_(progress)
    { }

    /// Runs the checks on both threads, with `besideFirst` (work that needs nothing but the net)
    /// on the second one once the names are searched. An exception from either thread reaches
    /// the caller once both have ended.
    template<typename Work> void run(Work besideFirst)
    {
        runSideBySide(
            [&] {
                check(CheckGroup::Declarations);
                net_.releaseIndexes();
                besideFirst();
                takeTurns();
            },
            [&] { takeTurns(); });
    }

    /// What the checks found, in the order of the groups, added to `found`, with room for the
    /// warnings that come after (the names st cannot write): growing the table by a quarter
    /// while the whole net is held would set the run's peak of memory.
    void moveTo(Diagnostics &found)
    {
        size_t total = found.size();
        for (const Diagnostics &group : found_)
            total += group.size();
        found.reserve(total + total / 16 + 64);
        for (Diagnostics &group : found_)
            found.append(std::move(group));
    }

private:
    void check(CheckGroup group)
    {
        checkNetGroup(net_, netPath_, options_, priorities_, found_[size_t(group)], group);
    }
    /// Takes the groups left, one at a time, until none is left or the run is cancelled.
    void takeTurns()
    {
        static constexpr CheckGroup byCost[] = {CheckGroup::Predicates, CheckGroup::Conflicts,
                                                CheckGroup::Writing, CheckGroup::Firing};
        for (size_t next; !progress_.cancelled() && (next = next_++) < std::size(byCost);)
            check(byCost[next]);
    }

    Net &net_;
    const std::string &netPath_;
    CheckOptions options_;
    const Priorities &priorities_;
    const RunProgress &progress_;
    std::array<Diagnostics, checkGroups.size()> found_;
    std::atomic<size_t> next_ {0};
};

/// One conversion, in its stages: read the net, check it (while the outputs that need nothing
/// else are written beside their final names), write the program, commit both outputs.
class Conversion
{
public:
    Conversion(const ConversionJob &job, TextSink *trace, ConversionObserver *observer,
               ConversionResult &result)
        : job_(job)
        , trace_(trace)
        , observer_(observer)
        , result_(result)
        , programName_(programFileName(job.baseName, job.format))
        , complete_(job.format != OutputFormat::St)
        , progress_(observer)
        , log_(result.logPath)
        , program_(result.programPath)
    { }

    void run()
    {
        if (!job_.checkOnly && !outputsLeaveTheNet())
            return;
        if (!read())
            return;
        if (job_.checkOnly) {
            check([] {});
            try {
                settle();
            } catch (const Cancelled &) { }
            if (progress_.cancelled())
                cancelledRun(result_, job_.netPath);
            return;
        }
        try {
            check([this] { writeBeside(); });
            if (progress_.cancelled())
                return stop();
            settle();
            if (!result_.ok()) {
                log_.discard();
                program_.discard();
                return;
            }
            debugNet();
            if (!writeProgram())
                return;
            if (progress_.cancelled())
                return stop();
            commit();
        } catch (const Cancelled &) {
            return stop();
        }
        if (trace_)
            trace_->put(programTrace_.text());
        if (result_.written)
            progress_.reach(100);
    }

private:
    /// Its own output would replace the net: refused before anything is read.
    bool outputsLeaveTheNet()
    {
        for (const std::string *output : {&result_.logPath, &result_.programPath}) {
            if (sameFile(job_.netPath, *output)) {
                result_.diagnostics.add(Severity::Error, job_.netPath, 0, 0,
                                        "le fichier de sortie " + *output
                                            + " est le réseau lui-même : rien n'est écrit");
                return false;
            }
        }
        return true;
    }

    /// Reads the net; false when the run ends there (cancelled, or a net not read whole).
    bool read()
    {
        read_ = readNetFile(job_.netPath, net_, trace_, &found_,
                            observer_ ? ReadProgress([&](uint64_t bytes, uint64_t size) {
                                return progress_.read(bytes, size);
                            })
                                      : ReadProgress());
        if (read_ == ReadResult::Cancelled) {
            cancelledRun(result_, job_.netPath);
            return false;
        }
        if (read_ != ReadResult::Done) {
            settle();
            return false;
        }
        return true;
    }

    /// Checks the net on both threads, with `besideFirst` on the second one. The priorities are
    /// worked out first, once for the run, their cycles reported ahead of what the checks find.
    template<typename Work> void check(Work besideFirst)
    {
        priorities_ = std::make_unique<Priorities>(net_, job_.netPath, &found_);
        SharedChecks checks(net_, job_.netPath, complete_, *priorities_, progress_);
        checks.run(besideFirst);
        checks.moveTo(found_);
    }

    /// The log needs nothing but the net: it is written beside its final name while the checks
    /// run, and thrown away if they find an error. So is the statement list, which needs
    /// nothing else either; a complete program waits for the names that the checks' notes
    /// come with.
    void writeBeside()
    {
        logOpened_ = log_.open(logError_);
        if (logOpened_) {
            progress_.watch(log_.out());
            writeStructureLog(net_, log_.out());
            logWritten_ = log_.close(logError_);
        }
        if (logOpened_ && programBeside())
            programOpened_ = program_.open(programError_);
        if (programOpened_) {
            progress_.watch(program_.out());
            writeStCode(net_, program_.out(), &programTrace_, priorities_.get());
            appendOutputBlock(net_, program_.out());
        }
    }
    bool programBeside() const { return job_.format == OutputFormat::St; }

    /// Stops the long pieces of work that are no output's blocks: the search for the program's
    /// names, the writers' work before their first block.
    StopCheck stopIfCancelled() const
    {
        return [this] {
            if (progress_.cancelled())
                throw Cancelled();
        };
    }

    /// The names of a complete program, with a note for each name it changes; then the
    /// diagnostics in the order of the file, warnings made errors when asked.
    void settle()
    {
        if (complete_ && read_ == ReadResult::Done)
            symbols_
                = std::make_unique<ProgramSymbols>(net_, job_.baseName, job_.timeUnit, job_.netPath,
                                                   found_, stopIfCancelled(), priorities_.get());
        else if (read_ == ReadResult::Done)
            checkStNames(net_, job_.netPath, found_);
        if (read_ == ReadResult::Done && !job_.checkOnly && job_.baseName == "Ex"
            && shortFileName(fileNameOf(job_.netPath)))
            found_.add(Severity::Note, job_.netPath, 0, 0,
                       "nom de fichier de quatre caractères ou moins : les fichiers écrits "
                       "s'appellent « Ex.log » et « "
                           + programName_ + " »");
        found_.sortByLine();
        if (job_.warningsAreErrors)
            found_.makeWarningsErrors();
        result_.diagnostics = std::move(found_);
    }

    void debugNet()
    {
        debug(observer_, std::string());
        const Place *places = net_.firstPlace();
        const Transition *transitions = net_.firstTransition();
        debug(observer_, transitions ? std::string(transitions->name) : std::string());
        debug(observer_, places ? std::string(places->name) : std::string());
    }

    /// Then the complete program, beside its final name too; false when an output cannot be
    /// opened (said in the diagnostics). The program's trace follows the log's, as when they
    /// were written one after the other.
    bool writeProgram()
    {
        if (!logOpened_) {
            cannotWrite(result_.diagnostics, result_.logPath, logError_);
            if (trace_)
                trace_->put("Erreur Ouverture du fichier Log\n");
            finishTrace();
            return false;
        }
        if (!(programBeside() ? programOpened_ : program_.open(programError_))) {
            cannotWrite(result_.diagnostics, result_.programPath, programError_);
            log_.discard();
            finishTrace();
            return false;
        }
        TextSink &out = program_.out();
        if (!programBeside())
            progress_.watch(out);
        switch (job_.format) {
        case OutputFormat::St:
            break;
        case OutputFormat::Pou:
            writePou(net_, *symbols_, fileNameOf(job_.netPath), out, stopIfCancelled());
            break;
        case OutputFormat::PlcOpen:
            writePlcOpen(net_, *symbols_, fileNameOf(job_.netPath), out, stopIfCancelled());
            break;
        }
        debug(observer_, programName_);
        return true;
    }
    void finishTrace()
    {
        if (trace_)
            trace_->put(programTrace_.text());
    }

    /// Puts both outputs in place together, or neither.
    void commit()
    {
        std::error_code error;
        if (!logWritten_) {
            cannotWrite(result_.diagnostics, result_.logPath, logError_);
            log_.discard();
            program_.discard();
            return;
        }
        if (!program_.close(error)) {
            cannotWrite(result_.diagnostics, result_.programPath, error);
            log_.discard();
            program_.discard();
            return;
        }
        CommitReport report;
        result_.written = commitFiles(
            {{log_.partPath(), result_.logPath}, {program_.partPath(), result_.programPath}},
            report);
        log_.release();
        program_.release();
        if (!result_.written) {
            cannotWrite(result_.diagnostics, report.failed, report.error);
            if (trace_ && report.failed == result_.logPath)
                trace_->put("Erreur Ouverture du fichier Log\n");
        }
        reportLeft(result_.diagnostics, report,
                   result_.written ? Severity::Warning : Severity::Error);
    }

    /// A cancel stops the outputs at their next block, the checks at their next group; what
    /// was written beside the final names goes.
    void stop()
    {
        log_.discard();
        program_.discard();
        cancelledRun(result_, job_.netPath);
    }

    const ConversionJob &job_;
    TextSink *trace_;
    ConversionObserver *observer_;
    ConversionResult &result_;
    const std::string programName_;
    const bool complete_;
    RunProgress progress_;
    Net net_;
    ReadResult read_ = ReadResult::Done;
    Diagnostics found_;
    std::unique_ptr<Priorities> priorities_;
    std::unique_ptr<ProgramSymbols> symbols_;
    PartFile log_, program_;
    std::error_code logError_, programError_;
    bool logOpened_ = false, logWritten_ = false, programOpened_ = false;
    TextSink programTrace_;
};

} // namespace

ConversionResult convertNet(const ConversionJob &job, TextSink *trace, ConversionObserver *observer)
{
    ConversionResult result;
    try {
        result.logPath = joinPath(job.outputDir, job.baseName + ".log");
        result.programPath = joinPath(job.outputDir, programFileName(job.baseName, job.format));
        Conversion(job, trace, observer, result).run();
    } catch (const std::bad_alloc &) {
        // What the run held is released by now, its part files removed: there is room to say
        // so. Should there not be, the caller meets the exception itself.
        result.diagnostics.add(Severity::Error, job.netPath, 0, 0,
                               result.written
                                   ? "mémoire insuffisante : la conversion est abandonnée"
                                   : "mémoire insuffisante : la conversion est abandonnée, rien "
                                     "n'est écrit");
    }
    if (trace)
        trace->flush();
    return result;
}

} // namespace trilette
