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

ConversionResult convertNet(const ConversionJob &job, TextSink *trace, ConversionObserver *observer)
{
    ConversionResult result;
    try {
        const std::string programName = programFileName(job.baseName, job.format);
        result.logPath = joinPath(job.outputDir, job.baseName + ".log");
        result.programPath = joinPath(job.outputDir, programName);

        // Its own output would replace the net: refused before anything is read.
        if (!job.checkOnly) {
            for (const std::string *output : {&result.logPath, &result.programPath}) {
                if (sameFile(job.netPath, *output)) {
                    result.diagnostics.add(Severity::Error, job.netPath, 0, 0,
                                           "le fichier de sortie " + *output
                                               + " est le réseau lui-même : rien n'est écrit");
                    return result;
                }
            }
        }

        RunProgress progress(observer);
        Net net;
        Diagnostics found;
        const ReadResult read
            = readNetFile(job.netPath, net, trace, &found,
                          observer ? ReadProgress([&](uint64_t bytes, uint64_t size) {
                              return progress.read(bytes, size);
                          })
                                   : ReadProgress());
        if (read == ReadResult::Cancelled) {
            cancelledRun(result, job.netPath);
            return result;
        }
        const bool complete = job.format != OutputFormat::St;
        // The checks run in parts on both threads, each part into its own diagnostics; appended
        // in the order of the parts, they say what the checks say when run one after the
        // other. The part that searches the net by name runs first, on the second thread,
        // after which the net's indexes go, before the peak of memory; the others are taken
        // in turn by whichever thread is free, the costliest first.
        std::array<Diagnostics, checkPartCount> partFound;
        auto checkPart = [&](int part) {
            checkNetPart(net, job.netPath, {complete, complete}, partFound[part], part);
        };
        auto searchNames = [&] {
            checkPart(checkPartSearchingNames);
            net.releaseIndexes();
        };
        std::atomic<size_t> nextPart {0};
        auto checkParts = [&] {
            for (size_t next;
                 !progress.cancelled() && (next = nextPart++) < checkPartsByCost.size();)
                checkPart(checkPartsByCost[next]);
        };
        // Stops the long pieces of work that are no output's blocks: the search for the
        // program's names, the writers' work before their first block.
        const StopCheck stopIfCancelled = [&progress] {
            if (progress.cancelled())
                throw Cancelled();
        };
        // The names of a complete program, with a note for each name it changes; then the
        // diagnostics in the order of the file, warnings made errors when asked.
        std::unique_ptr<ProgramSymbols> symbols;
        auto settle = [&] {
            size_t total = found.size();
            for (const Diagnostics &part : partFound)
                total += part.size();
            found.reserve(total);
            for (Diagnostics &part : partFound)
                found.append(std::move(part));
            if (complete && read == ReadResult::Done)
                symbols = std::make_unique<ProgramSymbols>(net, job.baseName, job.timeUnit,
                                                           job.netPath, found, stopIfCancelled);
            else if (read == ReadResult::Done)
                checkStNames(net, job.netPath, found);
            if (read == ReadResult::Done && !job.checkOnly && job.baseName == "Ex"
                && shortFileName(fileNameOf(job.netPath)))
                found.add(Severity::Note, job.netPath, 0, 0,
                          "nom de fichier de quatre caractères ou moins : les fichiers écrits "
                          "s'appellent « Ex.log » et « "
                              + programName + " »");
            found.sortByLine();
            if (job.warningsAreErrors)
                found.makeWarningsErrors();
            result.diagnostics = std::move(found);
        };
        if (read != ReadResult::Done) {
            settle();
            return result;
        }
        if (job.checkOnly) {
            runSideBySide(
                [&] {
                    searchNames();
                    checkParts();
                },
                checkParts);
            try {
                settle();
            } catch (const Cancelled &) { }
            if (progress.cancelled())
                cancelledRun(result, job.netPath);
            return result;
        }

        // The log needs nothing but the net: it is written beside its final name while the
        // checks run, and thrown away if they find an error. So is the statement list, which
        // needs nothing else either; a complete program waits for the names that the checks'
        // notes come with.
        const bool programBeside = job.format == OutputFormat::St;
        PartFile log(result.logPath), program(result.programPath);
        std::error_code logError, programError;
        bool logOpened = false, logWritten = false, programOpened = false;
        TextSink programTrace;
        // A cancel stops the outputs at their next block, the checks at their next part; what
        // was written beside the final names goes.
        const auto stop = [&] {
            log.discard();
            program.discard();
            cancelledRun(result, job.netPath);
            if (trace)
                trace->flush();
            return result;
        };
        try {
            runSideBySide(
                [&] {
                    searchNames();
                    logOpened = log.open(logError);
                    if (logOpened) {
                        progress.watch(log.out());
                        writeStructureLog(net, log.out());
                        logWritten = log.close(logError);
                    }
                    if (logOpened && programBeside)
                        programOpened = program.open(programError);
                    if (programOpened) {
                        progress.watch(program.out());
                        writeStCode(net, program.out(), &programTrace);
                        appendOutputBlock(net, program.out());
                    }
                    checkParts();
                },
                checkParts);
            if (progress.cancelled())
                return stop();
            settle();
            if (!result.ok()) {
                log.discard();
                program.discard();
                return result;
            }
            debug(observer, std::string());
            const Place *places = net.firstPlace();
            const Transition *transitions = net.firstTransition();
            debug(observer, transitions ? std::string(transitions->name) : std::string());
            debug(observer, places ? std::string(places->name) : std::string());

            // Then the complete program, beside its final name too. The program's trace follows
            // the log's, as when they were written one after the other.
            if (!logOpened) {
                cannotWrite(result.diagnostics, result.logPath, logError);
                if (trace)
                    trace->put("Erreur Ouverture du fichier Log\n");
            } else if (!(programBeside ? programOpened : program.open(programError))) {
                cannotWrite(result.diagnostics, result.programPath, programError);
                log.discard();
            } else {
                TextSink &out = program.out();
                if (!programBeside)
                    progress.watch(out);
                switch (job.format) {
                case OutputFormat::St:
                    break;
                case OutputFormat::Pou:
                    writePou(net, *symbols, fileNameOf(job.netPath), out, stopIfCancelled);
                    break;
                case OutputFormat::PlcOpen:
                    writePlcOpen(net, *symbols, fileNameOf(job.netPath), out, stopIfCancelled);
                    break;
                }
                debug(observer, programName);
                std::error_code error;
                CommitReport commit;
                if (progress.cancelled()) {
                    return stop();
                } else if (!logWritten) {
                    cannotWrite(result.diagnostics, result.logPath, logError);
                    log.discard();
                    program.discard();
                } else if (!program.close(error)) {
                    cannotWrite(result.diagnostics, result.programPath, error);
                    log.discard();
                    program.discard();
                } else {
                    result.written = commitFiles({{log.partPath(), result.logPath},
                                                  {program.partPath(), result.programPath}},
                                                 commit);
                    log.release();
                    program.release();
                    if (!result.written) {
                        cannotWrite(result.diagnostics, commit.failed, commit.error);
                        if (trace && commit.failed == result.logPath)
                            trace->put("Erreur Ouverture du fichier Log\n");
                    }
                    reportLeft(result.diagnostics, commit,
                               result.written ? Severity::Warning : Severity::Error);
                }
            }
        } catch (const Cancelled &) {
            return stop();
        }
        if (trace)
            trace->put(programTrace.text());
        if (result.written)
            progress.reach(100);
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
