#include "fileio.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace trilette {

namespace {

fs::path nativePath(const std::string &path)
{
#ifdef _WIN32
    return fs::u8path(path);
#else
    return fs::path(path);
#endif
}

} // namespace

std::FILE *openFile(const std::string &path, const char *mode)
{
#ifdef _WIN32
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(nativePath(path).c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

FileContents::~FileContents()
{
#ifndef _WIN32
    if (mapped_)
        ::munmap(const_cast<char *>(mapped_), size_);
#endif
}

bool FileContents::load(const std::string &path)
{
    std::error_code error;
    if (fs::is_directory(nativePath(path), error))
        return false;
#ifndef _WIN32
    // A large net is mapped rather than copied: the reader goes through it once, in order.
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        void *map = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            ::madvise(map, size_t(info.st_size), MADV_SEQUENTIAL);
            mapped_ = static_cast<const char *>(map);
            size_ = size_t(info.st_size);
            ::close(fd);
            return true;
        }
    }
    ::close(fd);
#endif
    std::FILE *file = openFile(path, "rb");
    if (!file)
        return false;
    char block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        read_.append(block, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok)
        read_.clear();
    return ok;
}

bool replaceFile(const std::string &from, const std::string &to)
{
    std::error_code error;
    fs::rename(nativePath(from), nativePath(to), error);
    return !error;
}

void removeFile(const std::string &path)
{
    std::error_code error;
    fs::remove(nativePath(path), error);
}

bool isDirectory(const std::string &path)
{
    std::error_code error;
    return fs::is_directory(nativePath(path), error);
}

std::string joinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
#ifdef _WIN32
    const char separator = '\\';
    if (folder.back() == '\\' || folder.back() == '/')
        return folder + name;
#else
    const char separator = '/';
    if (folder.back() == '/')
        return folder + name;
#endif
    return folder + separator + name;
}

void outOfMemory()
{
    std::fputs("Memoire insufisante\n", stderr);
    std::fflush(stderr);
    std::exit(1);
}

} // namespace trilette
