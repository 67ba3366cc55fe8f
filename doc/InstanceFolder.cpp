#include "doc/InstanceFolder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define TORVANE_GETPID _getpid
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#define TORVANE_GETPID getpid
#endif

#include "doc/RecoveryState.h"
#include "doc/WorkingFile.h"
#include "platform/FileIo.h"
#include "platform/WaveHeader.h"

namespace torvane {
namespace fs = std::filesystem;

namespace {
fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}
std::string withSeparator(std::string s) {
    if (!s.empty() && s.back() != '/' && s.back() != char(fs::path::preferred_separator)) s += char(fs::path::preferred_separator);
    return s;
}

// A folder being made carries this in front of its name until its lock is held: a start-up
// that found it unlocked under the final name would take it for a dead instance's.
constexpr char kUnfinished = '.';

#ifndef _WIN32
// Renames without ever replacing: a directory may be renamed over an empty one.
bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: the names carry the pid and a random number.
    struct stat st;
    return ::lstat(to.c_str(), &st) != 0 && errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}
#endif

}  // namespace

std::string createInstanceFolder(const std::string& parent, FolderLock& lock) {
    std::random_device rd;
    std::mt19937_64 rng((std::uint64_t(rd()) << 32) ^ std::uint64_t(rd()) ^
                        std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    const auto pid = static_cast<unsigned long>(TORVANE_GETPID());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "torvane-" + std::to_string(pid) + "-" + std::to_string(rng() % 1000000000ull);
        const std::string folder = withSeparator(parent) + name;
#ifdef _WIN32
        std::error_code ec;
        // create_directory is false when the name exists already: try another.
        if (fs::create_directory(toPath(folder), ec)) return withSeparator(folder);
        if (ec && ec != std::errc::file_exists) return {};
#else
        const std::string unfinished = withSeparator(parent) + kUnfinished + name;
        if (::mkdir(unfinished.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;
            return {};
        }
        const FolderLock::Result r = lock.tryLock(unfinished);
        if (r == FolderLock::Result::Held && renameNoReplace(unfinished, folder)) return withSeparator(folder);
        lock.release();
        // Another start may have found the unfinished folder first and be clearing it: try
        // again. A folder that is there and cannot be locked is no use to anyone.
        if (r == FolderLock::Result::HeldElsewhere) continue;
        struct stat st;
        const bool stillThere = ::lstat(unfinished.c_str(), &st) == 0;
        if (stillThere) ::rmdir(unfinished.c_str());
        if (r == FolderLock::Result::Failed && stillThere) return {};
#endif
    }
    return {};
}

void removeInstanceFolder(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::remove_all(toPath(folder), ec);
}

namespace {

// Whether name is "torvane-<pid>-<number>".
bool isInstanceFolderName(const std::string& name) {
    static const std::string prefix = "torvane-";
    if (name.compare(0, prefix.size(), prefix) != 0) return false;
    const std::size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size() || dash + 1 == name.size() || dash - prefix.size() > 10)
        return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (i != dash && (name[i] < '0' || name[i] > '9')) return false;
    return true;
}

}  // namespace

// The working file of an ended instance holds the document when its header reads and its data
// is all there: an instance killed in the middle of an edit may have left it cut short.
bool workingFileWhole(const std::string& folder) {
    const File f = File::open(workingFilePathIn(folder), File::Mode::Read);
    const std::int64_t length = f.size();
    WaveHeader h;
    unsigned char size[4];
    // The data size as written, before readWaveHeader bounds it by the file.
    return length >= 0 && readWaveHeader(f, std::uint64_t(length), h) == WaveHeaderError::None &&
           f.readAt(h.dataOffset - 4, size, 4) &&
           (std::uint32_t(size[0]) | std::uint32_t(size[1]) << 8 | std::uint32_t(size[2]) << 16 |
            std::uint32_t(size[3]) << 24) == h.dataSize;
}

LeftFolderFate leftFolderFate(const std::string& parent, const std::string& name, FolderLock* keep) {
#ifdef _WIN32
    (void)parent;
    (void)name;
    (void)keep;
    return LeftFolderFate::NotOurs;
#else
    const bool unfinished = !name.empty() && name[0] == kUnfinished;
    if (!isInstanceFolderName(unfinished ? name.substr(1) : name)) return LeftFolderFate::NotOurs;
    const std::string path = parent + name;
    struct stat st;
    // A real folder of this user's: never a link, never somebody else's.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return LeftFolderFate::NotOurs;
    FolderLock lock;
    switch (lock.tryLock(path)) {
    case FolderLock::Result::HeldElsewhere: return LeftFolderFate::Running;
    // Not known to have ended (a file system without locks): left alone.
    case FolderLock::Result::Failed: return LeftFolderFate::Running;
    case FolderLock::Result::Held: break;
    }
    struct stat locked;
    // The folder that was looked at, not one put in its place since.
    if (::fstat(lock.fd(), &locked) != 0 || locked.st_dev != st.st_dev || locked.st_ino != st.st_ino)
        return LeftFolderFate::NotOurs;
    LeftFolderFate fate = LeftFolderFate::Remove;
    if (!unfinished) {
        const std::string folder = withSeparator(path);
        const auto state = readRecoveryState(folder);
        // An edit cut short may have left the header's sizes behind the data: recovery mends that.
        if (state && state->modified && (state->editing || workingFileWhole(folder))) fate = LeftFolderFate::Offer;
    }
    if (keep) *keep = std::move(lock);
    return fate;
#endif
}

namespace {
// The names in folder (which ends in a separator), UTF-8.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(toPath(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::u8string u8 = it->path().filename().u8string();
        names.emplace_back(u8.begin(), u8.end());
    }
    return names;
}
}  // namespace

std::vector<LeftFolder> lockFoldersToRecover(const std::string& parent) {
    const std::string base = withSeparator(parent);
    std::vector<std::pair<fs::file_time_type, LeftFolder>> found;
    for (const std::string& name : namesIn(base)) {
        FolderLock lock;
        if (leftFolderFate(base, name, &lock) != LeftFolderFate::Offer) continue;
        std::error_code timeError;
        found.emplace_back(fs::last_write_time(toPath(base + name + "/" + kRecoveryFileName), timeError),
                           LeftFolder{withSeparator(base + name), std::move(lock)});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<LeftFolder> folders;
    for (auto& f : found) folders.push_back(std::move(f.second));
    return folders;
}

int removeFoldersOfEndedInstances(const std::string& parent) {
    const std::string base = withSeparator(parent);
    int removed = 0;
    for (const std::string& name : namesIn(base)) {
        FolderLock lock;  // held until the folder is gone
        if (leftFolderFate(base, name, &lock) != LeftFolderFate::Remove) continue;
        removeInstanceFolder(base + name);
        ++removed;
    }
    return removed;
}

}  // namespace torvane
