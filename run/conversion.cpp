#include "run/conversion.h"

#include "codegen/plcopenwriter.h"
#include "codegen/pouwriter.h"
#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netcheck.h"
#include "net/netreader.h"
#include "util/fileio.h"

#include <algorithm>
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
    // Walk back over four characters: a UTF-8 lead byte with its continuation bytes, or a
    // lone invalid byte.
    size_t end = fileName.size();
    for (int dropped = 0; dropped < 4; ++dropped) {
        if (end == 0)
            return "Ex";
        size_t start = end - 1;
        int continuations = 0;
        while (start > 0 && continuations < 3
               && (static_cast<unsigned char>(fileName[start]) & 0xC0) == 0x80) {
            --start;
            ++continuations;
        }
        const auto lead = static_cast<unsigned char>(fileName[start]);
        const int expected = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        end = (lead >= 0xC0 && expected == continuations) ? start : end - 1;
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
        std::unique_ptr<ProgramSymbols> symbols;
        if (read == ReadResult::Done) {
            checkNet(net, job.netPath, {complete, complete}, found);
            if (complete)
                symbols = std::make_unique<ProgramSymbols>(net, job.baseName, job.timeUnit,
                                                           job.netPath, found);
        }
        found.sortByLine();
        if (job.warningsAreErrors)
            found.makeWarningsErrors();
        result.diagnostics = std::move(found);
        if (read != ReadResult::Done || job.checkOnly || !result.ok())
            return result;
        net.releaseIndexes();
        debug(observer, std::string());
        const Place *places = net.firstPlace();
        const Transition *transitions = net.firstTransition();
        debug(observer, transitions ? std::string(transitions->name) : std::string());
        debug(observer, places ? std::string(places->name) : std::string());

        // The log and the program only read the net: they are written side by side, each
        // beside its final name. The program's trace is held back so that it follows the log's,
        // as when they were written one after the other.
        report(observer, 15);
        PartFile log(result.logPath), program(result.programPath);
        TextSink programTrace;
        std::error_code error;
        if (!log.open(error)) {
            cannotWrite(result.diagnostics, result.logPath, error);
            if (trace)
                trace->put("Erreur Ouverture du fichier Log\n");
        } else if (!program.open(error)) {
            cannotWrite(result.diagnostics, result.programPath, error);
            log.discard();
        } else {
            runSideBySide([&] { writeStructureLog(net, log.out()); },
                          [&] {
                              TextSink &out = program.out();
                              switch (job.format) {
                              case OutputFormat::St:
                                  writeStCode(net, out, &programTrace);
                                  appendOutputBlock(net, out);
                                  break;
                              case OutputFormat::Pou:
                                  writePou(net, *symbols, fileNameOf(job.netPath), out);
                                  break;
                              case OutputFormat::PlcOpen:
                                  writePlcOpen(net, *symbols, fileNameOf(job.netPath), out);
                                  break;
                              }
                          });
            report(observer, 18);
            report(observer, 20);
            report(observer, 30);
            debug(observer, programName);
            report(observer, 70);
            std::string failed;
            if (!log.close(error)) {
                cannotWrite(result.diagnostics, result.logPath, error);
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
