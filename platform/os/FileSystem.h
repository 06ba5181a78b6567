// FileSystem: the file operations the tool needs, behind one small interface.
//
// Stands in for the Windows file-system object. Paths are file-system paths with "/" as the
// separator. Every operation reports failure as false and never throws; a failed operation may
// have done part of its work (a copy of several files stops at the first failing one).
// LocalFileSystem is the real implementation; ForwardingFileSystem passes every call on to
// another FileSystem so that a test can override just the call it wants to fail.
// Implementations are used from one thread.
#pragma once

#include <string>

namespace platform {

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // True if `path` names a folder (symbolic links followed).
    virtual bool FolderExists(const std::string& path) = 0;
    // True if `path` names something that is not a folder (symbolic links followed).
    virtual bool FileExists(const std::string& path) = 0;

    // Creates one folder. Fails if it exists already or if its parent folder is missing.
    virtual bool CreateFolder(const std::string& path) = 0;

    // Copies the files that `sourcePattern` names into `destinationFolder`, keeping their
    // names. The last element of the pattern may hold the wildcards '*' (any run of
    // characters) and '?' (one character), matched case-sensitively; folders never match.
    // An existing destination file is replaced only when `overwrite` is true. Fails when
    // nothing matches, the destination folder is missing, or one copy fails.
    virtual bool CopyFiles(const std::string& sourcePattern, const std::string& destinationFolder,
                           bool overwrite) = 0;

    // Copies the folders that `sourcePattern` names (wildcards as for CopyFiles; files never
    // match) with everything they contain into `destinationFolder`, each under its own name,
    // merging with folders already there. Existing files are replaced only when `overwrite`
    // is true. Fails when nothing matches, the destination folder is missing, or one copy fails.
    virtual bool CopyFolders(const std::string& sourcePattern, const std::string& destinationFolder,
                             bool overwrite) = 0;

    // Deletes one file. Fails for a missing file, a folder, or a read-only file (one without
    // any write permission bit), which is never deleted.
    virtual bool DeleteFile(const std::string& path) = 0;

    // Renames (moves) a file. Fails when something exists at `to` already.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;

    // Renames `from` to `to`, atomically replacing any file at `to`: a reader sees either the
    // old or the new file, never a mix. The folder is synced, so the new name survives a
    // crash once this returns true.
    virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;

    // Reads a whole file into `contents`.
    virtual bool ReadFile(const std::string& path, std::string& contents) = 0;

    // Creates or empties `path`, writes `contents` and flushes them to the disk before it
    // returns true.
    virtual bool WriteFile(const std::string& path, const std::string& contents) = 0;

    // Flushes a file's contents to the disk.
    virtual bool SyncFile(const std::string& path) = 0;
    // Flushes a folder's entries (names created, renamed or removed in it) to the disk.
    virtual bool SyncFolder(const std::string& path) = 0;
};

}  // namespace platform
