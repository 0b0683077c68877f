#include "util/fileio.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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

bool readWholeFile(const std::string &path, std::string &contents)
{
    contents.clear();
    std::error_code error;
    if (fs::is_directory(nativePath(path), error))
        return false;
    std::FILE *file = openFile(path, "rb");
    if (!file)
        return false;
    // Read straight into the string, in blocks that grow with it. The file is copied rather
    // than mapped: a mapped file that another program shortens meanwhile would crash the reader.
    size_t used = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0)
            contents.resize(size_t(size) + 1);
        std::rewind(file);
    }
    for (;;) {
        if (used == contents.size())
            contents.resize(std::max(contents.size() * 2, used + (1 << 16)));
        const size_t got = std::fread(&contents[used], 1, contents.size() - used, file);
        if (got == 0)
            break;
        used += got;
    }
    contents.resize(used);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok)
        contents.clear();
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
