#pragma once

#include <cstdio>
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

/// Creates or empties the file at `path` and writes `bytes` into it in text mode; false with the
/// reason when it cannot be opened, written in full or closed. A failed file may be left
/// partly written: write beside the final name and commit (see commitFiles).
bool writeWholeFile(const std::string &path, std::string_view bytes, std::error_code &error);

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
