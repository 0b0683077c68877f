#include "util/fileio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <utility>

#ifdef _WIN32
#include <cwctype>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

std::error_code lastError(int fallback = EIO)
{
    return std::error_code(errno ? errno : fallback, std::generic_category());
}

/// The folder part of a path, its separator kept; empty for a bare name.
std::string folderOf(const std::string &path)
{
    return path.substr(0, path.size() - fileNameOf(path).size());
}

/// Eight letters and digits that no other call of this process, and most probably of no other
/// process, gives.
std::string uniqueTag()
{
    static const uint64_t seed = [] {
        uint64_t value = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device device;
            value ^= (uint64_t(device()) << 32) ^ device();
        } catch (...) { }
        return value;
    }();
    static std::atomic<uint64_t> counter {0};
    // splitmix64: distinct counts give unrelated tags.
    uint64_t x = seed + 0x9E3779B97F4A7C15ULL * ++counter;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag(8, ' ');
    for (char &c : tag) {
        c = letters[x % 36];
        x /= 36;
    }
    return tag;
}

/// A file name's mark in the name of its earlier version set aside (".trilette-TAG-MARK.old"),
/// by which a later commit finds the final name that the earlier version belongs to: eight
/// letters and digits of a hash of the name.
std::string nameMark(const char *name)
{
    uint64_t x = 0xCBF29CE484222325ULL;
    for (; *name; ++name)
        x = (x ^ static_cast<unsigned char>(*name)) * 0x100000001B3ULL;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string mark(8, ' ');
    for (char &c : mark) {
        c = letters[x % 36];
        x /= 36;
    }
    return mark;
}

/// The paths of the part files not yet committed or discarded, for removePartFilesNow.
constexpr int partSlots = 64;
std::atomic<const char *> livePartFiles[partSlots];

int registerPartFile(const char *path)
{
    for (int i = 0; i < partSlots; ++i) {
        const char *empty = nullptr;
        if (livePartFiles[i].compare_exchange_strong(empty, path))
            return i;
    }
    return -1;
}

/// Creates a file that did not exist, for writing in text mode; null with the reason.
std::FILE *createNew(const std::string &path, std::error_code &error)
{
    errno = 0;
#ifdef _WIN32
    const int fd = _wopen(nativePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT,
                          _S_IREAD | _S_IWRITE);
    std::FILE *file = fd < 0 ? nullptr : _fdopen(fd, "w");
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE *file = fd < 0 ? nullptr : fdopen(fd, "w");
#endif
    if (!file) {
        error = lastError(EACCES);
        if (fd >= 0) {
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            removeFile(path);
        }
    }
    return file;
}

/// Creates a new file of a name of its own in `folder` (".trilette-XXXXXXXX" and `suffix`);
/// null with the reason.
std::FILE *createUnique(const std::string &folder, const char *suffix, std::string &path,
                        std::error_code &error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        error.clear();
        path = folder + ".trilette-" + uniqueTag() + suffix;
        if (std::FILE *file = createNew(path, error))
            return file;
        if (error != std::errc::file_exists)
            break;
    }
    path.clear();
    return nullptr;
}

/// A folder as commits tell it apart: by device and inode (two spellings of one folder are one
/// folder), or by its spelling where it cannot be examined.
struct FolderKey
{
    bool known = false;
    uint64_t device = 0, inode = 0;
    std::string spelling;

    explicit FolderKey(std::string folder)
        : spelling(std::move(folder))
    {
#ifndef _WIN32
        struct stat info;
        if (::stat(spelling.empty() ? "." : spelling.c_str(), &info) == 0) {
            known = true;
            device = uint64_t(info.st_dev);
            inode = uint64_t(info.st_ino);
        }
#endif
    }
    bool operator<(const FolderKey &other) const
    {
        if (known != other.known)
            return known;
        if (known)
            return std::make_pair(device, inode) < std::make_pair(other.device, other.inode);
        return spelling < other.spelling;
    }
    bool operator==(const FolderKey &other) const
    {
        return !(*this < other) && !(other < *this);
    }
};

/// Holds a folder's commit lock: commits into one folder take turns, whichever thread or
/// process makes them. The system releases the lock of a process that ends. A folder that can
/// be written but not read is locked through a file named after its device and inode, in the
/// user's runtime folder (or /tmp).
class FolderLock
{
public:
    explicit FolderLock(const FolderKey &key)
    {
        const std::string path = key.spelling.empty() ? std::string(".") : key.spelling;
#ifdef _WIN32
        std::error_code error;
        std::wstring absolute = fs::absolute(nativePath(path), error).lexically_normal().wstring();
        for (wchar_t &c : absolute)
            c = wchar_t(std::towlower(c));
        const std::wstring name
            = L"Local\\trilette-" + std::to_wstring(std::hash<std::wstring>()(absolute));
        handle_ = CreateMutexW(nullptr, FALSE, name.c_str());
        if (handle_ && WaitForSingleObject(handle_, INFINITE) == WAIT_FAILED) {
            CloseHandle(handle_);
            handle_ = nullptr;
        }
#else
        fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0 && key.known) {
            const std::string name = "trilette-" + std::to_string(key.device) + "-"
                + std::to_string(key.inode) + ".lock";
            const char *runtime = std::getenv("XDG_RUNTIME_DIR");
            if (runtime && *runtime)
                fd_ = ::open(joinPath(runtime, name).c_str(),
                             O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0)
                fd_ = ::open(joinPath("/tmp", name).c_str(),
                             O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        }
        int status = -1;
        while (fd_ >= 0 && (status = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) { }
        if (fd_ >= 0 && status != 0) {
            ::close(fd_);
            fd_ = -1;
        }
#endif
    }
    /// Whether the commits into the folder wait for this one.
    bool held() const
    {
#ifdef _WIN32
        return handle_ != nullptr;
#else
        return fd_ >= 0;
#endif
    }
    ~FolderLock()
    {
#ifdef _WIN32
        if (handle_) {
            ReleaseMutex(handle_);
            CloseHandle(handle_);
        }
#else
        if (fd_ >= 0)
            ::close(fd_);
#endif
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
#ifdef _WIN32
    HANDLE handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

bool faulted(const std::string &from, const std::string &to, std::error_code &error)
{
    if (!commitStepFault)
        return false;
    const int value = commitStepFault(from, to);
    if (value)
        error = std::error_code(value, std::generic_category());
    return value != 0;
}

// The steps of a commit; on POSIX systems they allocate nothing.
bool move(const std::string &from, const std::string &to, std::error_code &error)
{
    error.clear();
    if (faulted(from, to, error))
        return false;
#ifdef _WIN32
    fs::rename(nativePath(from), nativePath(to), error);
#else
    if (std::rename(from.c_str(), to.c_str()) != 0)
        error = lastError();
#endif
    return !error;
}

bool remove(const std::string &path, std::error_code &error)
{
    error.clear();
    if (faulted(path, std::string(), error))
        return false;
#ifdef _WIN32
    fs::remove(nativePath(path), error);
#else
    if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        error = lastError();
#endif
    return !error;
}

/// Gives the final name's earlier version a second name, `aside` (made from a new tag where the
/// name is taken): the final name stays in place. Where the file system has no hard links, the
/// earlier version is moved aside instead, and `linked` is false. Nothing to set aside (ENOENT)
/// empties `aside`: there is no earlier version.
bool setAside(const std::string &final, std::string &aside, bool &linked, std::error_code &error)
{
    error.clear();
    linked = false;
    if (!(commitStepFault && faulted(final, "+" + aside, error))) {
#ifdef _WIN32
        error = std::make_error_code(std::errc::operation_not_supported);
#else
        const size_t tag = aside.size() - fileNameOf(aside).size() + 10;
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (::link(final.c_str(), aside.c_str()) == 0) {
                linked = true;
                return true;
            }
            error = lastError();
            if (errno != EEXIST)
                break;
            const std::string fresh = uniqueTag();
            std::copy(fresh.begin(), fresh.end(), aside.begin() + long(tag));
        }
#endif
    }
    const std::errc e = std::errc(error.default_error_condition().value());
    if (e == std::errc::operation_not_permitted || e == std::errc::operation_not_supported
        || e == std::errc::function_not_supported || e == std::errc::too_many_links
        || e == std::errc::cross_device_link)
        move(final, aside, error);
    if (error == std::errc::no_such_file_or_directory) {
        error.clear();
        aside.clear();
    }
    return !error;
}

#ifndef _WIN32
/// Removes from a folder, whose commits wait for the caller, what runs that died there left:
/// the part files whose lock can be taken, and the earlier versions set aside whose final name
/// is in place. One whose final name is missing goes back under it when it is one of `files`'
/// names, and otherwise stays, the only copy of a file whose name is not known here.
void removeLeftovers(const FolderKey &key, const std::vector<StagedFile> &files)
{
    const std::string &folder = key.spelling;
    const std::string dir = folder.empty() ? std::string(".") : folder;
    DIR *listing = ::opendir(dir.c_str());
    if (!listing)
        return;
    std::vector<std::string> parts, asides, marks;
    auto endsWith = [](const std::string &name, const char *end) {
        const size_t n = std::char_traits<char>::length(end);
        return name.size() >= n && name.compare(name.size() - n, n, end) == 0;
    };
    try {
        for (const dirent *entry; (entry = ::readdir(listing));) {
            const std::string name = entry->d_name;
            if (name.compare(0, 10, ".trilette-") != 0)
                continue;
            if (endsWith(name, ".part"))
                parts.push_back(folder + name);
            else if (endsWith(name, ".old") && name.size() == 31)
                asides.push_back(name);
        }
        if (!asides.empty()) {
            ::rewinddir(listing);
            for (const dirent *entry; (entry = ::readdir(listing));)
                marks.push_back(nameMark(entry->d_name));
            std::sort(marks.begin(), marks.end());
        }
    } catch (const std::bad_alloc &) {
        ::closedir(listing);
        return;
    }
    ::closedir(listing);
    for (const std::string &part : parts) {
        const int fd = ::open(part.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(part.c_str());
        if (fd >= 0)
            ::close(fd);
    }
    for (const std::string &name : asides) {
        const std::string mark = name.substr(19, 8), path = folder + name;
        if (std::binary_search(marks.begin(), marks.end(), mark)) {
            ::unlink(path.c_str());
            continue;
        }
        for (const StagedFile &file : files)
            if (FolderKey(folderOf(file.final)) == key
                && nameMark(fileNameOf(file.final).c_str()) == mark && !exists(file.final))
                ::rename(path.c_str(), file.final.c_str());
    }
}
#endif

/// What a commit could not undo or tidy: which file, what, and why.
struct Trouble
{
    enum Kind { NotPutBack, NotRemoved, Missing, StagedLeft, AsideLeft };
    size_t file;
    Kind kind;
    std::error_code error;
};

void describe(const std::vector<Trouble> &troubles, const std::vector<StagedFile> &files,
              const std::vector<std::string> &asides, std::vector<LeftFile> &left)
{
    const std::string notPaired
        = "contient la nouvelle version sans l'autre fichier de sa paire : ";
    const std::string putBack = "n'a pas pu être remise en place et reste sous le nom ";
    for (const Trouble &t : troubles) {
        const std::string reason = " (" + systemReason(t.error) + ")";
        const StagedFile &file = files[t.file];
        const std::string &aside = asides[t.file];
        switch (t.kind) {
        case Trouble::NotPutBack:
            left.push_back({file.final, notPaired + "l'ancienne " + putBack + aside + reason});
            break;
        case Trouble::NotRemoved:
            left.push_back({file.final, notPaired + "elle n'a pas pu être retirée" + reason});
            break;
        case Trouble::Missing:
            left.push_back({file.final, "manque : l'ancienne version " + putBack + aside + reason});
            break;
        case Trouble::StagedLeft:
            left.push_back({file.staged, "fichier temporaire qui n'a pas pu être retiré" + reason});
            break;
        case Trouble::AsideLeft:
            left.push_back({aside, "ancienne version qui n'a pas pu être retirée" + reason});
            break;
        }
    }
}

} // namespace

int (*commitStepFault)(const std::string &from, const std::string &to) = nullptr;

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
{ }

PartFile::~PartFile()
{
    discard();
}

bool PartFile::open(std::error_code &error)
{
    for (int attempt = 0;; ++attempt) {
        file_ = createUnique(folderOf(final_), ".part", part_, error);
        if (!file_)
            return false;
        // Known at once to the handler of ending signals, which removes it if the run is
        // stopped from here on.
        slot_ = registerPartFile(part_.c_str());
#ifndef _WIN32
        // The lock stays while the file is closed and committed. A commit that removes the
        // leftovers of dead runs may have taken this file before it was locked: then another.
        // Where the file system has no locks, the file goes on without one.
        lock_ = ::fcntl(fileno(file_), F_DUPFD_CLOEXEC, 0);
        int status = -1;
        while (lock_ >= 0 && (status = flock(lock_, LOCK_EX)) != 0 && errno == EINTR) { }
        struct stat held, named;
        if (status != 0) {
            unlock();
        } else if (::fstat(lock_, &held) != 0 || ::stat(part_.c_str(), &named) != 0
                   || held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
            std::fclose(file_);
            file_ = nullptr;
            forget();
            unlock();
            if (attempt < 10)
                continue;
            error = std::make_error_code(std::errc::resource_unavailable_try_again);
            return false;
        }
#endif
        break;
    }
    created_ = true;
    sink_ = std::make_unique<TextSink>(file_);
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
    if (created_) {
        forget();
        removeFile(part_);
    }
    created_ = false;
    unlock();
}

void PartFile::release()
{
    if (created_)
        forget();
    created_ = false;
    unlock();
}

void PartFile::forget()
{
    if (slot_ >= 0)
        livePartFiles[slot_].store(nullptr);
    slot_ = -1;
}

void PartFile::unlock()
{
#ifndef _WIN32
    if (lock_ >= 0)
        ::close(lock_);
#endif
    lock_ = -1;
}

void removePartFilesNow() noexcept
{
    for (std::atomic<const char *> &slot : livePartFiles)
        if (const char *path = slot.load()) {
#ifdef _WIN32
            std::remove(path);
#else
            ::unlink(path);
#endif
        }
}

bool commitFiles(const std::vector<StagedFile> &files, CommitReport &report)
{
    report = CommitReport();
    const size_t count = files.size();
    // First what needs memory, while nothing has moved: the folders' locks, the paths, and for
    // every file but the last an earlier version's name of its own to move aside to, so that a
    // later failure can put it back (the last one's rename is the step that commits the whole
    // set). The moves then allocate nothing, so that running out of memory never stops them
    // half-way; what happened is worded once they are over.
    std::vector<FolderKey> folders;
    for (const StagedFile &file : files)
        folders.emplace_back(folderOf(file.final));
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    std::vector<std::unique_ptr<FolderLock>> locks;
    for (const FolderKey &folder : folders) {
        locks.push_back(std::make_unique<FolderLock>(folder));
#ifndef _WIN32
        if (locks.back()->held())
            removeLeftovers(folder, files);
#endif
    }

    std::vector<Trouble> troubles;
    troubles.reserve(2 * count + 1);
    std::vector<std::string> asides(count);
    std::vector<bool> placed(count, false);
    size_t failed = count;
    auto rollBack = [&] {
        std::error_code error;
        for (size_t i = count; i-- > 0;) {
            if (!placed[i]) {
                if (!remove(files[i].staged, error))
                    troubles.push_back({i, Trouble::StagedLeft, error});
            } else if (!asides[i].empty()) {
                if (!move(asides[i], files[i].final, error))
                    troubles.push_back({i, Trouble::NotPutBack, error});
            } else if (!remove(files[i].final, error)) {
                troubles.push_back({i, Trouble::NotRemoved, error});
            }
        }
    };

    for (size_t i = 0; i < count && failed == count; ++i) {
        if (isDirectory(files[i].final)) {
            failed = i;
            report.error = std::make_error_code(std::errc::is_a_directory);
        }
    }
    for (size_t i = 0; i + 1 < count && failed == count; ++i)
        if (exists(files[i].final))
            asides[i] = folderOf(files[i].final) + ".trilette-" + uniqueTag() + "-"
                + nameMark(fileNameOf(files[i].final).c_str()) + ".old";

#ifndef _WIN32
    // A signal that would end the process waits until the moves are over: the pair in place
    // then comes from one run.
    sigset_t endings, before;
    sigemptyset(&endings);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&endings, signal);
    pthread_sigmask(SIG_BLOCK, &endings, &before);
#endif
    for (size_t i = 0; i < count && failed == count; ++i) {
        const StagedFile &file = files[i];
        bool link = false;
        if (!asides[i].empty() && !setAside(file.final, asides[i], link, report.error)) {
            failed = i;
            asides[i].clear();
        } else if (!move(file.staged, file.final, report.error)) {
            failed = i;
            std::error_code back;
            if (!asides[i].empty() && link && !remove(asides[i], back))
                troubles.push_back({i, Trouble::AsideLeft, back});
            else if (!asides[i].empty() && !link && !move(asides[i], file.final, back))
                troubles.push_back({i, Trouble::Missing, back});
        } else {
            placed[i] = true;
        }
    }
    if (failed < count) {
        rollBack();
    } else {
        for (size_t i = 0; i < count; ++i) {
            std::error_code error;
            if (!asides[i].empty() && !remove(asides[i], error))
                troubles.push_back({i, Trouble::AsideLeft, error});
        }
    }
#ifndef _WIN32
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif

    if (failed == count && troubles.empty())
        return true;
    try {
        if (failed < count)
            report.failed = files[failed].final;
        describe(troubles, files, asides, report.left);
    } catch (const std::bad_alloc &) {
        // The files are where they belong: a success stays one, said without its details.
        if (failed < count)
            throw;
        report.left.clear();
    }
    return failed == count;
}

bool sameFile(const std::string &first, const std::string &second)
{
    std::error_code error;
    return fs::equivalent(nativePath(first), nativePath(second), error) && !error;
}

bool samePlace(const std::string &first, const std::string &second)
{
    if (sameFile(first, second))
        return true;
    if (exists(first) && exists(second))
        return false;
    std::error_code error;
    const fs::path one = fs::weakly_canonical(fs::absolute(nativePath(first), error), error);
    if (error)
        return false;
    const fs::path other = fs::weakly_canonical(fs::absolute(nativePath(second), error), error);
    return !error && one == other;
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

} // namespace trilette
