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
/// file that was not committed is removed when its PartFile goes.
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
    void release() { created_ = false; }

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
/// from one commit. False when a file could not take its name.
bool commitFiles(const std::vector<StagedFile> &files, CommitReport &report);

/// For tests: when set, called before each rename (`to` the new name) and removal (`to` empty)
/// that commitFiles makes; a non-zero errno makes that step fail with it.
extern int (*commitStepFault)(const std::string &from, const std::string &to);

/// Whether two paths name one existing file (the same device and inode, links followed).
bool sameFile(const std::string &first, const std::string &second);

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
