#pragma once
// A file moved through in large blocks at explicit offsets, closed on every path: the working
// file of the edits and the step files of the undo journal.

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/FileIo.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace torvane {

class BlockFile {
public:
    BlockFile(const std::string& path, const char* mode) : m_f(openFile(path, mode)) {}
    ~BlockFile() { close(); }
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;
    explicit operator bool() const { return m_f != nullptr; }
    std::FILE* get() const { return m_f; }

    // Up to n bytes at pos; the count read (short at the end of the file).
    std::size_t readSomeAt(std::uint64_t pos, unsigned char* to, std::size_t n) {
        if (!seekTo(m_f, pos)) return 0;
        return std::fread(to, 1, n, m_f);
    }
    // Exactly n bytes, at pos or where the last read or write ended.
    bool readAt(std::uint64_t pos, unsigned char* to, std::size_t n) { return readSomeAt(pos, to, n) == n; }
    bool read(unsigned char* to, std::size_t n) { return std::fread(to, 1, n, m_f) == n; }
    bool writeAt(std::uint64_t pos, const unsigned char* from, std::size_t n) {
        return seekTo(m_f, pos) && std::fwrite(from, 1, n, m_f) == n;
    }
    bool write(const unsigned char* from, std::size_t n) { return std::fwrite(from, 1, n, m_f) == n; }
    bool truncateAt(std::uint64_t size) {
        if (std::fflush(m_f) != 0) return false;
#if defined(_WIN32)
        return _chsize_s(_fileno(m_f), std::int64_t(size)) == 0;
#else
        return ::ftruncate(fileno(m_f), off_t(size)) == 0;
#endif
    }
    bool close() {
        if (!m_f) return true;
        const bool ok = std::fclose(m_f) == 0;
        m_f = nullptr;
        return ok;
    }

private:
    std::FILE* m_f;
};

}  // namespace torvane
