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

/// A file written beside its final name, under a name of its own in the same folder
/// (".trilette-XXXXXXXX.part", created exclusively, so that runs writing into one folder at once
/// never share one, and short, whatever the final name's length), in large blocks; an earlier
/// file of the final name stays whole until commitFiles puts the new one in its place. A part
/// file that was not committed is removed when its PartFile goes. While it exists, the PartFile
/// holds a lock on it (flock on POSIX systems), by which a later commit into the folder tells
/// the part file of a run that died from one still being written, and removes the first; and
/// its path is registered for removePartFilesNow.
class PartFile
{
public:
    explicit PartFile(std::string finalPath);
    ~PartFile();
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    /// Creates the part file (text mode); false with the reason.
    bool open(std::error_code &error);
    /// Where the file's text goes.
    TextSink &out() { return *sink_; }
    /// Writes what is left and closes the file; false with the reason when any write failed.
    bool close(std::error_code &error);
    /// Removes the part file, if this created it.
    void discard();
    /// Forgets the part file once commitFiles has moved or removed it.
    void release();

    const std::string &finalPath() const { return final_; }
    const std::string &partPath() const { return part_; }

private:
    void forget();
    void unlock();

    std::string final_, part_;
    std::FILE *file_ = nullptr;
    std::unique_ptr<TextSink> sink_;
    bool created_ = false;
    int lock_ = -1;
    int slot_ = -1;
};

/// Removes the part file of every PartFile in this process that has not been committed or
/// discarded. Async-signal-safe: made for a handler of SIGINT and SIGTERM.
void removePartFilesNow() noexcept;

/// A complete file written beside its final name, waiting to replace it.
struct StagedFile
{
    std::string staged;
    std::string final;
};

/// A file that a commit left otherwise than it should: `state` says what it holds and why, in
/// French, to follow its path in a diagnostic.
struct LeftFile
{
    std::string path;
    std::string state;
};

/// What commitFiles has to say: the final name that could not be put in place and the reason,
/// and the files it could not bring back to what they were (or, after a success, an earlier
/// version it could not remove).
struct CommitReport
{
    std::string failed;
    std::error_code error;
    std::vector<LeftFile> left;
};

/// Moves every staged file over its final name, all or none: when one cannot take its name, the
/// ones already moved are put back as they were, and every staged file is removed. Commits into
/// one folder take turns, across threads and processes, so that the set in place always comes
/// from one commit. An earlier version is first linked to a name of its own, so that its final
/// name is never missing. Holding a folder's turn, a commit removes what runs that died there
/// left: part files that no one holds any more, and earlier versions set aside (one whose final
/// name is missing is put back under it, when that name is known). False when a file could not
/// take its name.
bool commitFiles(const std::vector<StagedFile> &files, CommitReport &report);

/// For tests: when set, called before each rename (`to` the new name) and removal (`to` empty)
/// that commitFiles makes, and before each link of an earlier version to its name aside (`from`
/// the final name, `to` the name aside, with a '+' in front); a non-zero errno makes that step
/// fail with it.
extern int (*commitStepFault)(const std::string &from, const std::string &to);

/// Whether two paths name one existing file (the same device and inode, links followed).
bool sameFile(const std::string &first, const std::string &second);

/// Whether two paths name one file: the same existing file, or the same place once the links
/// of their folders are resolved, for a file that is not there yet.
bool samePlace(const std::string &first, const std::string &second);

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

} // namespace trilette
