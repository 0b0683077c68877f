#include "conversion.h"

#include "net/fileio.h"
#include "net/netreader.h"
#include "stwriter.h"
#include "structurelog.h"

#include <new>

namespace trilette {

namespace {

/// Writes beside the final name, then moves the complete file into place.
template<typename Write>
bool writeAtomically(const std::string &path, Write write)
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

} // namespace

std::string ConversionError::message() const
{
    switch (kind) {
    case NetNotRead:
        return "Impossible de lire le fichier reseau : " + path;
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

ConversionResult convertNet(const ConversionJob &job, TextSink *trace,
    ConversionObserver *observer)
{
    ConversionResult result;
    try {
        const std::string logName = job.baseName + ".log";
        const std::string stName = job.baseName + "_ST.txt";
        result.logPath = joinPath(job.outputDir, logName);
        result.stPath = joinPath(job.outputDir, stName);

        Net net;
        if (readNetFile(job.netPath, net, trace) != ReadDone) {
            result.errors.push_back({ ConversionError::NetNotRead, job.netPath });
            return result;
        }
        debug(observer, std::string());
        const Place *places = net.firstPlace();
        const Transition *transitions = net.firstTransition();
        debug(observer, transitions ? transitions->name : std::string());
        debug(observer, places ? places->name : std::string());

        report(observer, 15);
        if (!writeAtomically(result.logPath, [&](const std::string &path) {
                return writeStructureLog(places, transitions, path, trace);
            }))
            result.errors.push_back({ ConversionError::OutputNotWritten, result.logPath });
        report(observer, 18);
        report(observer, 20);

        report(observer, 30);
        debug(observer, stName);
        bool stWritten = false;
        bool written = writeAtomically(result.stPath, [&](const std::string &path) {
            stWritten = writeStCode(transitions, path, places, trace);
            if (observer && stWritten)
                observer->progress(70);
            return stWritten && appendOutputBlock(places, path);
        });
        if (!written)
            result.errors.push_back({ ConversionError::OutputNotWritten, result.stPath });
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
