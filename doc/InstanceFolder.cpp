#include "doc/InstanceFolder.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define TORVANE_GETPID _getpid
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#define TORVANE_GETPID getpid
#endif
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

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
}  // namespace

std::string createInstanceFolder(const std::string& parent) {
    std::random_device rd;
    std::mt19937_64 rng((std::uint64_t(rd()) << 32) ^ std::uint64_t(rd()) ^
                        std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    const auto pid = static_cast<unsigned long>(TORVANE_GETPID());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "torvane-" + std::to_string(pid) + "-" + std::to_string(rng() % 1000000000ull);
        const std::string folder = withSeparator(parent) + name;
        std::error_code ec;
        // create_directory is false when the name exists already: try another.
        if (fs::create_directory(toPath(folder), ec)) return withSeparator(folder);
        if (ec && ec != std::errc::file_exists) return {};
    }
    return {};
}

void removeInstanceFolder(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::remove_all(toPath(folder), ec);
}

namespace {

// The pid in "torvane-<pid>-<number>", or 0 when the name is not an instance folder's.
long instancePid(const std::string& name) {
    static const std::string prefix = "torvane-";
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const std::size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size() || dash + 1 == name.size()) return 0;
    long pid = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (i == dash) continue;
        if (name[i] < '0' || name[i] > '9') return 0;
        if (i < dash) {
            pid = pid * 10 + (name[i] - '0');
            if (pid > 0x3FFFFFFF) return 0;
        }
    }
    return pid;
}

#ifndef _WIN32
// When process `pid` started, in seconds since the epoch; 0 when it cannot be told.
double processStartTime(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    // Field 22 (start time in clock ticks after boot) follows the command name in parentheses.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) {
            std::ifstream uptime("/proc/uptime");
            double up = 0;
            if (!(uptime >> up)) return 0;
            const double ticks = double(sysconf(_SC_CLK_TCK));
            const double bootTime = double(::time(nullptr)) - up;
            return bootTime + std::stod(field) / ticks;
        }
    return 0;
}
#endif

}  // namespace

// The working file of an ended instance holds the document when its header reads and its data
// is all there: an instance killed in the middle of an edit may have left it cut short.
bool workingFileWhole(const std::string& folder) {
    std::FILE* f = openFile(workingFilePathIn(folder), "rb");
    if (!f) return false;
    const std::uint64_t length = fileLengthOf(f);
    WaveHeader h;
    bool whole = readWaveHeader(f, length, h) == WaveHeaderError::None;
    unsigned char size[4];
    // The data size as written, before readWaveHeader bounds it by the file.
    whole = whole && seekTo(f, h.dataOffset - 4) && std::fread(size, 1, 4, f) == 4 &&
            (std::uint32_t(size[0]) | std::uint32_t(size[1]) << 8 | std::uint32_t(size[2]) << 16 |
             std::uint32_t(size[3]) << 24) == h.dataSize;
    std::fclose(f);
    return whole;
}

LeftFolderFate leftFolderFate(const std::string& parent, const std::string& name) {
#ifdef _WIN32
    (void)parent;
    (void)name;
    return LeftFolderFate::NotOurs;
#else
    const long pid = instancePid(name);
    if (pid <= 0) return LeftFolderFate::NotOurs;
    struct stat st;
    const std::string path = parent + name;
    // A real folder of this user's: never a link, never somebody else's.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return LeftFolderFate::NotOurs;
    if (pid == long(TORVANE_GETPID())) return LeftFolderFate::Running;
    if (::kill(pid_t(pid), 0) == 0 || errno == EPERM) {
        // The pid lives, but a process that started after the folder last changed cannot be
        // its owner: the number was given to another program since.
        const double started = processStartTime(pid);
        if (started == 0 || started < double(st.st_mtime) + 1) return LeftFolderFate::Running;
    }
    const std::string folder = withSeparator(path);
    const auto state = readRecoveryState(folder);
    // An edit cut short may have left the header's sizes behind the data: recovery mends that.
    if (state && state->modified && (state->editing || workingFileWhole(folder))) return LeftFolderFate::Offer;
    return LeftFolderFate::Remove;
#endif
}

std::vector<std::string> foldersToRecover(const std::string& parent) {
    const std::string base = withSeparator(parent);
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    fs::directory_iterator it(toPath(base), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::u8string u8 = it->path().filename().u8string();
        const std::string name(u8.begin(), u8.end());
        if (leftFolderFate(base, name) != LeftFolderFate::Offer) continue;
        std::error_code timeError;
        found.emplace_back(fs::last_write_time(toPath(base + name + "/" + kRecoveryFileName), timeError),
                           withSeparator(base + name));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> folders;
    for (auto& f : found) folders.push_back(f.second);
    return folders;
}

int removeFoldersOfEndedInstances(const std::string& parent) {
    const std::string base = withSeparator(parent);
    std::error_code ec;
    fs::directory_iterator it(toPath(base), ec), end;
    int removed = 0;
    for (; !ec && it != end; it.increment(ec)) {
        const std::u8string u8 = it->path().filename().u8string();
        const std::string name(u8.begin(), u8.end());
        if (leftFolderFate(base, name) != LeftFolderFate::Remove) continue;
        removeInstanceFolder(base + name);
        ++removed;
    }
    return removed;
}

}  // namespace torvane
