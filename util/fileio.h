#pragma once

#include "util/textsink.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace trilette {

/// Opens a file by a path in the file system's encoding (UTF-8 on Windows), like fopen.
std::FILE *openFile(const std::string &path, const char *mode);

/// The system's reason for a failure, in French ("permission refusée", "plus de place sur le
/// disque", "un dossier porte ce nom"...).
std::string systemReason(const std::error_code &error);

/// A file written beside its final name (the name followed by ".part") in large blocks, so that
/// an earlier file of that name stays whole until commitFiles puts the new one in its place.
class PartFile
{
public:
    explicit PartFile(std::string finalPath);
    ~PartFile();
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    /// Creates or empties the part file (text mode); false with the reason.
    bool open(std::error_code &error);
    /// Where the file's text goes.
    TextSink &out() { return *sink_; }
    /// Writes what is left and closes the file; false with the reason when any write failed.
    bool close(std::error_code &error);
    /// Removes the part file, if this opened it.
    void discard();

    const std::string &finalPath() const { return final_; }
    const std::string &partPath() const { return part_; }

private:
    std::string final_, part_;
    std::FILE *file_ = nullptr;
    std::unique_ptr<TextSink> sink_;
    bool created_ = false;
};

/// A complete file written beside its final name, waiting to replace it.
struct StagedFile
{
    std::string staged;
    std::string final;
};

/// Moves every staged file over its final name, all or none: when one cannot take its name, the
/// ones already moved are put back as they were, and every staged file is removed. False with the
/// final name that failed and the reason.
bool commitFiles(const std::vector<StagedFile> &files, std::string &failed, std::error_code &error);

/// Removes a file if it exists; errors are ignored.
void removeFile(const std::string &path);

/// True when `path` names an existing directory.
bool isDirectory(const std::string &path);
/// True when something (a file, a folder...) exists at `path`.
bool exists(const std::string &path);

/// The file-name part of a path (after the last separator).
std::string fileNameOf(const std::string &path);

/// Joins a folder and a file name with the platform's separator; an empty folder gives the name.
std::string joinPath(const std::string &folder, const std::string &name);

/// Prints "Memoire insufisante" on standard error and ends the process with status 1.
[[noreturn]] void outOfMemory();

} // namespace trilette
