#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace trilette {

/// Opens a file by a path in the file system's encoding (UTF-8 on Windows), like fopen.
std::FILE *openFile(const std::string &path, const char *mode);

/// The whole contents of a file, mapped into memory where the system allows it, read otherwise.
class FileContents
{
public:
    FileContents() = default;
    ~FileContents();
    FileContents(const FileContents &) = delete;
    FileContents &operator=(const FileContents &) = delete;

    /// Loads the file; false when it cannot be opened or read (a directory included).
    bool load(const std::string &path);
    std::string_view bytes() const { return mapped_ ? std::string_view(mapped_, size_) : read_; }

private:
    const char *mapped_ = nullptr;
    size_t size_ = 0;
    std::string read_;
};

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
