#include "platform/os/LocalFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

// '*' matches any run of characters, '?' exactly one; everything else matches itself.
// Windows' wildcards know no bracket expressions, so '[' is an ordinary character here.
bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

enum class EntryKind { File, Folder };

// The entries of the pattern's folder whose names match its last element, sorted by name.
// An unreadable or missing folder yields none.
std::vector<fs::path> Matches(const std::string& sourcePattern, EntryKind kind) {
    const fs::path pattern(sourcePattern);
    fs::path folder = pattern.parent_path();
    if (folder.empty()) folder = ".";
    const std::string namePattern = pattern.filename().string();
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!MatchesWildcard(namePattern, name)) continue;
        std::error_code statError;
        const bool isFolder = fs::is_directory(it->path(), statError);
        if (statError) continue;
        if (isFolder == (kind == EntryKind::Folder)) found.push_back(it->path());
    }
    if (ec) return {};
    std::sort(found.begin(), found.end());
    return found;
}

bool CopyOneFile(const fs::path& source, const fs::path& destination, bool overwrite) {
    std::error_code ec;
    fs::copy_file(source, destination,
                  overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none, ec);
    return !ec;
}

bool CopyFolderTree(const fs::path& source, const fs::path& destination, bool overwrite) {
    std::error_code ec;
    if (!fs::is_directory(destination, ec)) {
        if (!fs::create_directory(destination, ec) || ec) return false;
    }
    for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = destination / it->path().filename();
        std::error_code statError;
        const bool ok = fs::is_directory(it->path(), statError)
                            ? CopyFolderTree(it->path(), target, overwrite)
                            : !statError && CopyOneFile(it->path(), target, overwrite);
        if (!ok) return false;
    }
    return !ec;
}

bool WriteAll(int fd, const std::string& contents) {
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

bool SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    return synced && closed;
}

}  // namespace

bool LocalFileSystem::FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool LocalFileSystem::FileExists(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

bool LocalFileSystem::CreateFolder(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool LocalFileSystem::CopyFiles(const std::string& sourcePattern,
                                const std::string& destinationFolder, bool overwrite) {
    if (!FolderExists(destinationFolder)) return false;
    const std::vector<fs::path> sources = Matches(sourcePattern, EntryKind::File);
    if (sources.empty()) return false;
    for (const fs::path& source : sources) {
        if (!CopyOneFile(source, fs::path(destinationFolder) / source.filename(), overwrite)) {
            return false;
        }
    }
    return true;
}

bool LocalFileSystem::CopyFolders(const std::string& sourcePattern,
                                  const std::string& destinationFolder, bool overwrite) {
    if (!FolderExists(destinationFolder)) return false;
    const std::vector<fs::path> sources = Matches(sourcePattern, EntryKind::Folder);
    if (sources.empty()) return false;
    for (const fs::path& source : sources) {
        if (!CopyFolderTree(source, fs::path(destinationFolder) / source.filename(), overwrite)) {
            return false;
        }
    }
    return true;
}

bool LocalFileSystem::DeleteFile(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status) || fs::is_directory(status)) return false;
    constexpr fs::perms kAnyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (fs::is_regular_file(status) && (status.permissions() & kAnyWrite) == fs::perms::none) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool LocalFileSystem::RenameFile(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system cannot refuse to replace by itself; check first (not atomic).
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec))) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool LocalFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    // The new name is only lasting once the folder that holds it is on disk.
    const std::string folder = std::filesystem::path(to).parent_path().string();
    return SyncFolder(folder.empty() ? "." : folder);
}

bool LocalFileSystem::ReadFile(const std::string& path, std::string& contents) {
    if (FolderExists(path)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    contents = std::move(data);
    return true;
}

bool LocalFileSystem::WriteFile(const std::string& path, const std::string& contents) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, contents) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

bool LocalFileSystem::SyncFile(const std::string& path) {
    return !FolderExists(path) && SyncPath(path, 0);
}

bool LocalFileSystem::SyncFolder(const std::string& path) { return SyncPath(path, O_DIRECTORY); }

}  // namespace platform
