#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace trilette {

/// Opens a file by a path in the file system's encoding (UTF-8 on Windows), like fopen.
std::FILE *openFile(const std::string &path, const char *mode);

/// Reads a whole file into `contents`; false when it cannot be opened or read (a directory
/// included).
bool readWholeFile(const std::string &path, std::string &contents);

/// Moves `from` over `to`, replacing any file of that name in one step. False on failure,
/// with `from` left in place.
bool replaceFile(const std::string &from, const std::string &to);

/// Removes a file if it exists; errors are ignored.
void removeFile(const std::string &path);

/// True when `path` names an existing directory.
bool isDirectory(const std::string &path);

/// Joins a folder and a file name with the platform's separator; an empty folder gives the name.
std::string joinPath(const std::string &folder, const std::string &name);

/// Prints "Memoire insufisante" on standard error and ends the process with status 1.
[[noreturn]] void outOfMemory();

} // namespace trilette
