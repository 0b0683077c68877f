#include "util/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

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

std::error_code lastError(int fallback = EIO)
{
    return std::error_code(errno ? errno : fallback, std::generic_category());
}

bool rename(const std::string &from, const std::string &to, std::error_code &error)
{
    fs::rename(nativePath(from), nativePath(to), error);
    return !error;
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

std::string systemReason(const std::error_code &error)
{
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category()) {
        switch (condition.value()) {
        case ENOENT:
            return "fichier ou dossier introuvable";
        case EACCES:
        case EPERM:
            return "permission refusée";
        case ENOSPC:
            return "plus de place sur le disque";
#ifdef EDQUOT
        case EDQUOT:
            return "quota de disque dépassé";
#endif
        case EISDIR:
            return "un dossier porte ce nom";
        case ENOTDIR:
            return "un élément du chemin n'est pas un dossier";
        case EROFS:
            return "système de fichiers en lecture seule";
        case EFBIG:
            return "fichier trop gros";
        case ENAMETOOLONG:
            return "nom de fichier trop long";
        case EIO:
            return "erreur d'entrée-sortie";
        case EMFILE:
        case ENFILE:
            return "trop de fichiers ouverts";
        case ENOMEM:
            return "mémoire insuffisante";
        case EBUSY:
            return "fichier occupé";
        case EEXIST:
            return "le fichier existe déjà";
        case ELOOP:
            return "trop de liens symboliques";
        case EPIPE:
            return "la sortie a été fermée";
        default:
            break;
        }
    }
    return "erreur système " + std::to_string(error.value()) + " (" + error.message() + ")";
}

PartFile::PartFile(std::string finalPath)
    : final_(std::move(finalPath))
    , part_(final_ + ".part")
{ }

PartFile::~PartFile()
{
    if (file_) {
        sink_.reset();
        std::fclose(file_);
    }
}

bool PartFile::open(std::error_code &error)
{
    error.clear();
    errno = 0;
    file_ = openFile(part_, "w");
    if (!file_) {
        error = lastError(EACCES);
        return false;
    }
    sink_ = std::make_unique<TextSink>(file_);
    created_ = true;
    return true;
}

bool PartFile::close(std::error_code &error)
{
    if (!file_)
        return false;
    bool ok = sink_->flush();
    if (!ok)
        error = std::error_code(sink_->writeError(), std::generic_category());
    sink_.reset();
    errno = 0;
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        error = lastError();
    }
    file_ = nullptr;
    return ok;
}

void PartFile::discard()
{
    if (file_) {
        sink_.reset();
        std::fclose(file_);
        file_ = nullptr;
    }
    if (created_)
        removeFile(part_);
    created_ = false;
}

bool commitFiles(const std::vector<StagedFile> &files, std::string &failed, std::error_code &error)
{
    // Every file but the last moves its earlier version aside first, so that a later failure
    // can put it back; the last one's rename is the step that commits the whole set.
    struct Moved
    {
        const StagedFile *file;
        bool hadEarlier;
    };
    std::vector<Moved> moved;
    auto rollBack = [&] {
        for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
            std::error_code ignored;
            const std::string aside = it->file->final + ".trilette-old";
            if (it->hadEarlier)
                rename(aside, it->file->final, ignored);
            else
                removeFile(it->file->final);
        }
        for (const StagedFile &file : files)
            removeFile(file.staged);
    };

    for (const StagedFile &file : files) {
        if (isDirectory(file.final)) {
            failed = file.final;
            error = std::make_error_code(std::errc::is_a_directory);
            rollBack();
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const StagedFile &file = files[i];
        const bool last = i + 1 == files.size();
        const bool hadEarlier = !last && exists(file.final);
        if (hadEarlier && !rename(file.final, file.final + ".trilette-old", error)) {
            failed = file.final;
            rollBack();
            return false;
        }
        if (!rename(file.staged, file.final, error)) {
            if (hadEarlier) {
                std::error_code ignored;
                rename(file.final + ".trilette-old", file.final, ignored);
            }
            failed = file.final;
            rollBack();
            return false;
        }
        if (!last)
            moved.push_back({&file, hadEarlier});
    }
    for (const Moved &m : moved) {
        if (m.hadEarlier)
            removeFile(m.file->final + ".trilette-old");
    }
    return true;
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

bool exists(const std::string &path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(nativePath(path), error));
}

std::string fileNameOf(const std::string &path)
{
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
