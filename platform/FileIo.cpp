#include "platform/FileIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <thread>

namespace torvane {
namespace fs = std::filesystem;

namespace {
fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}
}  // namespace

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
#ifdef _WIN32
    std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(toPath(utf8Path).c_str(), wmode.c_str());
#else
    return std::fopen(utf8Path.c_str(), mode);
#endif
}

bool seekTo(std::FILE* f, std::uint64_t pos) {
#ifdef _WIN32
    return _fseeki64(f, std::int64_t(pos), SEEK_SET) == 0;
#else
    return fseeko(f, off_t(pos), SEEK_SET) == 0;
#endif
}

std::uint64_t tellPos(std::FILE* f) {
#ifdef _WIN32
    return std::uint64_t(_ftelli64(f));
#else
    return std::uint64_t(ftello(f));
#endif
}

std::uint64_t fileLengthOf(std::FILE* f) {
    const std::uint64_t here = tellPos(f);
#ifdef _WIN32
    _fseeki64(f, 0, SEEK_END);
#else
    fseeko(f, 0, SEEK_END);
#endif
    const std::uint64_t len = tellPos(f);
    seekTo(f, here);
    return len;
}

bool fileExists(const std::string& utf8Path) {
    std::error_code ec;
    return fs::is_regular_file(toPath(utf8Path), ec);
}

bool removeFile(const std::string& utf8Path) {
    std::error_code ec;
    return fs::remove(toPath(utf8Path), ec);
}

bool discardFile(const std::string& utf8Path) {
    // Unlinking the last name of an open file only drops the name; its blocks are freed when
    // the last descriptor closes, and that close is left to a thread of its own.
    // Small files go at once: a thread for each would cost more than it saves.
    constexpr std::int64_t kWorthAThread = std::int64_t(64) << 20;
    if (fileSize(utf8Path) < kWorthAThread) return removeFile(utf8Path);
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const bool removed = removeFile(utf8Path);
    if (fd >= 0) {
        if (removed) std::thread([fd] { ::close(fd); }).detach();
        else ::close(fd);
    }
    return removed;
}

bool renameFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(toPath(from), toPath(to), ec);
    return !ec;
}

std::int64_t fileSize(const std::string& utf8Path) {
    std::error_code ec;
    auto s = fs::file_size(toPath(utf8Path), ec);
    return ec ? -1 : std::int64_t(s);
}

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

bool isRegularFile(const std::string& utf8Path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(
        std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8Path.data()), utf8Path.size())), ec);
}

bool pathExists(const std::string& utf8Path) {
    std::error_code ec;
    return fs::exists(toPath(utf8Path), ec);
}

}  // namespace torvane
