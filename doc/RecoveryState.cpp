#include "doc/RecoveryState.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/FileIo.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace torvane {
namespace {

// Whole non-negative numbers only: a damaged file must not turn into a wild marker.
bool parseNumber(const std::string& text, std::uint64_t max, std::uint64_t& out) {
    if (text.empty() || text.size() > 12) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

}  // namespace

bool writeRecoveryState(const std::string& folder, const RecoveryState& s) {
    // The path goes last: it may hold any character but a line break.
    if (s.documentPath.find('\n') != std::string::npos || s.journal.find('\n') != std::string::npos) return false;
    std::ostringstream text;
    text << "version=1\n"
         << "bitrate=" << std::max(s.sourceBitRate, 0) << "\n"
         << "zoom=" << std::max(s.framesPerColumn, 0) << "\n"
         << "start=" << s.startMarker << "\n"
         << "finish=" << s.finishMarker << "\n"
         << "modified=" << (s.modified ? 1 : 0) << "\n"
         << "undo=" << s.undoIndex << "\n"
         << "journal=" << s.journal << "\n"
         << "editing=" << (s.editing ? s.editUndoable ? 2 : 1 : 0) << "\n"
         << "path=" << s.documentPath << "\n";
    const std::string body = text.str();
    const std::string target = folder + kRecoveryFileName, part = target + ".part";
    std::FILE* f = openFile(part, "wb");
    if (!f) return false;
    bool ok = std::fwrite(body.data(), 1, body.size(), f) == body.size() && std::fflush(f) == 0;
#ifndef _WIN32
    ok = ok && ::fsync(fileno(f)) == 0;
#endif
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(part.c_str(), target.c_str()) == 0;
    if (!ok) removeFile(part);
    return ok;
}

std::optional<RecoveryState> readRecoveryState(const std::string& folder) {
    std::FILE* f = openFile(folder + kRecoveryFileName, "rb");
    if (!f) return std::nullopt;
    std::string body;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && body.size() < 65536) body.append(buffer, n);
    std::fclose(f);

    RecoveryState s;
    int seen = 0;
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        std::uint64_t v = 0;
        if (key == "journal") {
            s.journal = value;
            continue;
        }
        if (key == "path") {
            s.documentPath = value;
            seen |= 1;
            continue;
        }
        if (!parseNumber(value, 0x7FFFFFFF, v)) return std::nullopt;
        if (key == "version" && v != 1) return std::nullopt;
        if (key == "bitrate") s.sourceBitRate = std::int32_t(v);
        if (key == "zoom") s.framesPerColumn = std::int32_t(v), seen |= 2;
        if (key == "start") s.startMarker = std::uint32_t(v), seen |= 4;
        if (key == "finish") s.finishMarker = std::uint32_t(v), seen |= 8;
        if (key == "modified") s.modified = v != 0, seen |= 16;
        if (key == "undo") s.undoIndex = std::uint32_t(v);
        if (key == "editing") s.editing = v != 0, s.editUndoable = v == 2;
    }
    if (seen != 31 || s.framesPerColumn <= 0 || s.startMarker > s.finishMarker) return std::nullopt;
    return s;
}

}  // namespace torvane
