#include "platform/FolderLock.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace torvane {

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

FolderLock::Result FolderLock::tryLock(const std::string& folder) {
    release();
#ifdef _WIN32
    (void)folder;
    return Result::Failed;
#else
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::HeldElsewhere : Result::Failed;
    }
    m_fd = fd;
    return Result::Held;
#endif
}

void FolderLock::release() {
#ifndef _WIN32
    // Closing the last descriptor of the open file drops the lock.
    if (m_fd >= 0) ::close(m_fd);
#endif
    m_fd = -1;
}

}  // namespace torvane
