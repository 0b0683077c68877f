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
#include <new>
#include <system_error>
#include <thread>

namespace trilette {

namespace {

void report(ConversionObserver *observer, int value)
{
    if (observer)
        observer->progress(value);
}

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

void cannotWrite(Diagnostics &diagnostics, const std::string &path, const std::error_code &error)
{
    diagnostics.add(Severity::Error, path, 0, 0,
                    "impossible d'écrire le fichier : " + systemReason(error));
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

        Net net;
        Diagnostics found;
        const ReadResult read = readNetFile(job.netPath, net, trace, &found);
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
            for (size_t next; (next = nextPart++) < checkPartsByCost.size();)
                checkPart(checkPartsByCost[next]);
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
                                                           job.netPath, found);
            else if (read == ReadResult::Done)
                checkStNames(net, job.netPath, found);
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
            settle();
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
        runSideBySide(
            [&] {
                searchNames();
                logOpened = log.open(logError);
                if (logOpened) {
                    writeStructureLog(net, log.out());
                    logWritten = log.close(logError);
                }
                if (logOpened && programBeside)
                    programOpened = program.open(programError);
                if (programOpened) {
                    writeStCode(net, program.out(), &programTrace);
                    appendOutputBlock(net, program.out());
                }
                checkParts();
            },
            checkParts);
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
        report(observer, 15);
        if (!logOpened) {
            cannotWrite(result.diagnostics, result.logPath, logError);
            if (trace)
                trace->put("Erreur Ouverture du fichier Log\n");
        } else if (!(programBeside ? programOpened : program.open(programError))) {
            cannotWrite(result.diagnostics, result.programPath, programError);
            log.discard();
        } else {
            TextSink &out = program.out();
            switch (job.format) {
            case OutputFormat::St:
                break;
            case OutputFormat::Pou:
                writePou(net, *symbols, fileNameOf(job.netPath), out);
                break;
            case OutputFormat::PlcOpen:
                writePlcOpen(net, *symbols, fileNameOf(job.netPath), out);
                break;
            }
            report(observer, 18);
            report(observer, 20);
            report(observer, 30);
            debug(observer, programName);
            report(observer, 70);
            std::string failed;
            std::error_code error;
            if (!logWritten) {
                cannotWrite(result.diagnostics, result.logPath, logError);
                log.discard();
                program.discard();
            } else if (!program.close(error)) {
                cannotWrite(result.diagnostics, result.programPath, error);
                log.discard();
                program.discard();
            } else if (!commitFiles({{log.partPath(), result.logPath},
                                     {program.partPath(), result.programPath}},
                                    failed, error)) {
                cannotWrite(result.diagnostics, failed, error);
                if (trace && failed == result.logPath)
                    trace->put("Erreur Ouverture du fichier Log\n");
            } else {
                result.written = true;
            }
        }
        if (trace)
            trace->put(programTrace.text());
        if (result.written)
            report(observer, 100);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (trace)
        trace->flush();
    return result;
}

} // namespace trilette
