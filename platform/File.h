#pragma once
// The one way the program touches the working file and its companions: a file owned by one
// object (closed on every path), read and written at explicit offsets, and one block copy
// between two places of one or two files, with progress and stop.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Progress.h"

namespace torvane {

// Bytes moved per read and write wherever the program copies or scans a file: large enough
// that the cost is the disk's, small enough to stay a bounded buffer.
inline constexpr std::size_t kBlockBytes = std::size_t(4) << 20;

class File {
public:
    enum class Mode {
        Read,       // existing file, read only
        ReadWrite,  // existing file, read and write
        Create,     // created or emptied, read and write
    };

    File() = default;
    // Takes over an open descriptor (closed with the File).
    explicit File(int fd) : m_fd(fd) {}
    // An invalid File when `utf8Path` cannot be opened (errno says why). `permissions`: of a
    // file that Create makes.
    static File open(const std::string& utf8Path, Mode mode, unsigned permissions = 0666);
    ~File();
    File(File&& other) noexcept : m_fd(other.release()) {}
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }
    // For the few calls that need the descriptor itself (locks, in-kernel copies).
    int fd() const { return m_fd; }
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

    // Up to `size` bytes at `at`: all of them unless the file ends first; -1 on a read error.
    std::int64_t readSomeAt(std::uint64_t at, void* to, std::size_t size) const;
    // Exactly `size` bytes at `at`.
    bool readAt(std::uint64_t at, void* to, std::size_t size) const {
        return readSomeAt(at, to, size) == std::int64_t(size);
    }
    // All of `size` bytes at `at`.
    bool writeAt(std::uint64_t at, const void* from, std::size_t size);
    bool truncate(std::uint64_t length);
    // Makes the file at least `length` bytes long with the space taken (a full disk fails here,
    // not part-way through what is written next); on failure the length is as it was.
    bool reserve(std::uint64_t length);
    bool sync();
    // The file's length; -1 when it cannot be learnt.
    std::int64_t size() const;
    // Closes now; false when the close reported an error (a delayed write failing, say).
    bool close();

private:
    int m_fd = -1;
};

// One progress bar over one or more copies (the ranges of an undo step, say): the share of
// `total` done so far, told only when the percentage changes. A stoppable bar ends a copy
// between two blocks when Cancel was asked for.
class CopyBar {
public:
    CopyBar(Progress& progress, int bar, std::uint64_t total, bool stoppable = false)
        : m_progress(&progress), m_bar(bar), m_total(total), m_stoppable(stoppable) {}
    void add(std::uint64_t bytes);
    bool stopRequested() const { return m_stoppable && m_progress->cancelRequested(); }

private:
    Progress* m_progress;
    int m_bar;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    int m_last = -1;
    bool m_stoppable;
};

enum class CopyEnd {
    Done,         // all of the length
    EndOfFile,    // the source ended first (or could not be read further)
    ReadFailed,
    WriteFailed,
    Stopped,      // Cancel, between two blocks
};

struct Copied {
    CopyEnd end = CopyEnd::Done;
    // Reached the destination: the first bytes of the range, or the last ones of a move
    // towards the end over itself (copied from its end back).
    std::uint64_t bytes = 0;
    bool done() const { return end == CopyEnd::Done; }
};

// Told, once they are in the file, how many bytes of a move towards the start have been
// written: what an undo of a move cut short at that point needs.
using CopiedBytes = std::function<void(std::uint64_t)>;
// Changes a block between its read and its write: `bytes` of the range at `offset` from its start.
using BlockRewrite = std::function<void(unsigned char* bytes, std::size_t size, std::uint64_t offset)>;

// Copies `length` bytes at `fromOffset` of `from` to `toOffset` of `to`, block by block; `from`
// and `to` may be the same File, and the two ranges may overlap either way (a move within the
// file). A copy stops early at the end of the source, but for a move towards the end over
// itself (copied from its last block back), which needs every byte. With `told`, no write
// of a move towards the start overwrites bytes still to be moved (each block goes out in pieces
// no longer than the gap), and each piece is told once written (a move towards the end tells
// nothing: an undo is not undone). With `rewrite`, each block is changed between its read and
// its write.
Copied copyBlocks(File& from, std::uint64_t fromOffset, File& to, std::uint64_t toOffset, std::uint64_t length,
                  CopyBar* bar = nullptr, const CopiedBytes& told = {}, const BlockRewrite& rewrite = {});

// Copies up to `size` bytes at `from` of `in` to `to` of `out` inside the kernel, page to page
// as cp does. Returns the bytes copied: fewer at the source's end, or where the kernel will not
// go on (other file systems, an error), from where the caller goes on by hand and meets any
// error itself.
std::uint64_t copyInKernel(const File& in, std::uint64_t from, const File& out, std::uint64_t to, std::uint64_t size);

}  // namespace torvane
