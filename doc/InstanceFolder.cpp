#include "doc/InstanceFolder.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define TORVANE_GETPID _getpid
#else
#include <unistd.h>
#define TORVANE_GETPID getpid
#endif

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

}  // namespace torvane
