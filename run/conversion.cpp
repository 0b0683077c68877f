#include "run/conversion.h"

#include "codegen/structurelog.h"
#include "codegen/stwriter.h"
#include "net/netreader.h"
#include "util/fileio.h"

#include <new>
#include <system_error>
#include <thread>

namespace trilette {

namespace {

/// Writes beside the final name, then moves the complete file into place.
template<typename Write> bool writeAtomically(const std::string &path, Write write)
{
    const std::string partial = path + ".part";
    if (!write(partial) || !replaceFile(partial, path)) {
        removeFile(partial);
        return false;
    }
    return true;
}

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

void addWarnings(std::vector<std::string> &warnings, const std::string &path, const Net &net,
                 const ReadSummary &summary)
{
    if (summary.ignoredLines == 1)
        warnings.push_back(path + " : 1 ligne ignoree (il y manque un jeton)");
    else if (summary.ignoredLines > 1)
        warnings.push_back(path + " : " + std::to_string(summary.ignoredLines)
                           + " lignes ignorees (il y manque un jeton)");
    if (!summary.endLineSeen)
        warnings.push_back(path + " : pas de ligne de fin 'h', le fichier est peut-etre tronque");
    if (!net.firstPlace() && !net.firstTransition())
        warnings.push_back(path + " : aucune place ni transition");
}

} // namespace

std::string ConversionError::message() const
{
    switch (kind) {
    case NetNotRead:
        return "Impossible de lire le fichier reseau : " + path;
    case NetNotText:
        return "Le fichier reseau n'est pas un fichier texte (il contient un octet nul) : " + path;
    case OutputNotWritten:
        break;
    }
    return "Impossible d'ecrire le fichier : " + path;
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
        const std::string logName = job.baseName + ".log";
        const std::string stName = job.baseName + "_ST.txt";
        result.logPath = joinPath(job.outputDir, logName);
        result.stPath = joinPath(job.outputDir, stName);

        Net net;
        ReadSummary summary;
        switch (readNetFile(job.netPath, net, trace, &summary)) {
        case ReadDone:
            break;
        case ReadNotText:
            result.errors.push_back({ConversionError::NetNotText, job.netPath});
            return result;
        default:
            result.errors.push_back({ConversionError::NetNotRead, job.netPath});
            return result;
        }
        addWarnings(result.warnings, job.netPath, net, summary);
        debug(observer, std::string());
        const Place *places = net.firstPlace();
        const Transition *transitions = net.firstTransition();
        debug(observer, transitions ? std::string(transitions->name) : std::string());
        debug(observer, places ? std::string(places->name) : std::string());

        // The log and the program only read the net: they are written side by side. Their
        // traces are held back and passed on in their usual order once both are done.
        TextSink logTrace, stTrace;
        bool logWritten = false;
        auto writeLog = [&] {
            logWritten
                = writeStructureLog(places, transitions, result.logPath + ".part", &logTrace);
            if (logWritten && !replaceFile(result.logPath + ".part", result.logPath)) {
                // The log could not take its name: to the user, the log could not be opened.
                logWritten = false;
                logTrace.put("Erreur Ouverture du fichier Log\n");
            }
            if (!logWritten)
                removeFile(result.logPath + ".part");
        };
        bool stWritten = false;
        auto writeProgram = [&] {
            return writeAtomically(result.stPath, [&](const std::string &path) {
                stWritten = writeStCode(transitions, path, places, &stTrace);
                return stWritten && appendOutputBlock(places, path);
            });
        };
        bool programWritten;
        try {
            std::thread beside([&] {
                try {
                    writeLog();
                } catch (const std::bad_alloc &) {
                    outOfMemory();
                }
            });
            programWritten = writeProgram();
            beside.join();
        } catch (const std::system_error &) {
            // No second thread to be had: one after the other.
            writeLog();
            programWritten = writeProgram();
        }

        report(observer, 15);
        if (trace)
            trace->put(logTrace.text());
        if (!logWritten)
            result.errors.push_back({ConversionError::OutputNotWritten, result.logPath});
        report(observer, 18);
        report(observer, 20);
        report(observer, 30);
        debug(observer, stName);
        if (trace)
            trace->put(stTrace.text());
        if (stWritten)
            report(observer, 70);
        if (!programWritten)
            result.errors.push_back({ConversionError::OutputNotWritten, result.stPath});
        else if (result.ok())
            report(observer, 100);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (trace)
        trace->flush();
    return result;
}

} // namespace trilette
