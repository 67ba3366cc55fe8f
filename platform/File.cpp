#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane {

File File::open(const std::string& utf8Path, Mode mode, unsigned permissions) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd;
    do fd = ::open(utf8Path.c_str(), flags, mode_t(permissions));
    while (fd < 0 && errno == EINTR);
    return File(fd);
}

File::~File() { close(); }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

std::int64_t File::readSomeAt(std::uint64_t at, void* to, std::size_t size) const {
    auto* p = static_cast<unsigned char*>(to);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(m_fd, p + got, size - got, off_t(at + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += std::size_t(n);
    }
    return std::int64_t(got);
}

bool File::writeAt(std::uint64_t at, const void* from, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(from);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size, off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
        at += std::uint64_t(n);
    }
    return true;
}

bool File::truncate(std::uint64_t length) {
    int r;
    do r = ::ftruncate(m_fd, off_t(length));
    while (r != 0 && errno == EINTR);
    return r == 0;
}

bool File::reserve(std::uint64_t length) {
    const std::int64_t current = size();
    if (current < 0) return false;
    if (length <= std::uint64_t(current)) return true;
    if (::posix_fallocate(m_fd, off_t(current), off_t(length - std::uint64_t(current))) == 0) return true;
    truncate(std::uint64_t(current));  // the tail holds nothing yet
    return false;
}

bool File::sync() { return ::fsync(m_fd) == 0; }

std::int64_t File::size() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
    return std::int64_t(st.st_size);
}

bool File::close() {
    if (m_fd < 0) return true;
    // The descriptor is gone even when close reports an error: never close it twice.
    const bool ok = ::close(m_fd) == 0 || errno == EINTR;
    m_fd = -1;
    return ok;
}

void CopyBar::add(std::uint64_t bytes) {
    m_done += bytes;
    const int percent = percentOf(m_done, m_total);
    if (percent != m_last) {
        m_last = percent;
        m_progress->setPercent(m_bar, percent);
    }
}

std::uint64_t copyInKernel(const File& in, std::uint64_t from, const File& out, std::uint64_t to, std::uint64_t size) {
    std::uint64_t copied = 0;
    while (copied < size) {
        loff_t source = loff_t(from + copied), target = loff_t(to + copied);
        const ssize_t n = ::copy_file_range(in.fd(), &source, out.fd(), &target, std::size_t(size - copied), 0);
        if (n <= 0) break;
        copied += std::uint64_t(n);
    }
    return copied;
}

Copied copyBlocks(File& from, std::uint64_t fromOffset, File& to, std::uint64_t toOffset, std::uint64_t length,
                  CopyBar* bar, const CopiedBytes& told, const BlockRewrite& rewrite) {
    Copied c;
    if (length == 0) return c;
    const std::size_t blockSize = std::size_t(std::min<std::uint64_t>(kBlockBytes, length));
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(blockSize);
    const bool sameFile = &from == &to || from.fd() == to.fd();

    if (sameFile && toOffset > fromOffset && toOffset < fromOffset + length) {
        // Towards the end over itself: from the last block back, so that no byte is
        // overwritten before it was read.
        for (std::uint64_t left = length; left > 0;) {
            if (bar && bar->stopRequested()) return {CopyEnd::Stopped, c.bytes};
            const std::size_t n = std::size_t(std::min<std::uint64_t>(blockSize, left));
            left -= n;
            const std::int64_t got = from.readSomeAt(fromOffset + left, buffer.get(), n);
            if (got != std::int64_t(n)) return {got < 0 ? CopyEnd::ReadFailed : CopyEnd::EndOfFile, c.bytes};
            if (rewrite) rewrite(buffer.get(), n, left);
            if (!to.writeAt(toOffset + left, buffer.get(), n)) return {CopyEnd::WriteFailed, c.bytes};
            c.bytes += n;
            if (bar) bar->add(n);
        }
        return c;
    }

    // With someone told how far a move towards the start got, whatever a crash cuts short, the
    // count told gives back the file before it.
    const std::uint64_t piece =
        told && sameFile && fromOffset > toOffset ? fromOffset - toOffset : std::uint64_t(kBlockBytes);
    while (c.bytes < length) {
        if (bar && bar->stopRequested()) {
            c.end = CopyEnd::Stopped;
            return c;
        }
        const std::size_t want = std::size_t(std::min<std::uint64_t>(blockSize, length - c.bytes));
        const std::int64_t got = from.readSomeAt(fromOffset + c.bytes, buffer.get(), want);
        if (got < 0) {
            c.end = CopyEnd::ReadFailed;
            return c;
        }
        const std::size_t n = std::size_t(got);
        if (n == 0) break;
        if (rewrite) rewrite(buffer.get(), n, c.bytes);
        for (std::size_t at = 0; at < n;) {
            const std::size_t size = std::size_t(std::min<std::uint64_t>(piece, n - at));
            if (!to.writeAt(toOffset + c.bytes + at, buffer.get() + at, size)) {
                c.end = CopyEnd::WriteFailed;
                return c;
            }
            at += size;
            if (told) told(c.bytes + at);
        }
        c.bytes += n;
        if (bar) bar->add(n);
        if (n < want) break;
    }
    if (c.bytes < length) c.end = CopyEnd::EndOfFile;
    return c;
}

}  // namespace torvane
