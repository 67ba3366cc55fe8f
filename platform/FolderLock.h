#pragma once
// An exclusive lock on a folder (flock on the folder itself), held while the object lives.
// The lock belongs to an open file, not to a process number: an instance in another PID
// namespace sees it all the same, a reused pid cannot fake it, and the system lets it go when
// its holder ends, however it ends.

#include <string>

namespace torvane {

class FolderLock {
public:
    enum class Result { Held, HeldElsewhere, Failed };

    FolderLock() = default;
    ~FolderLock() { release(); }
    FolderLock(FolderLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Opens `folder` (never through a link, and never inherited by a program started later)
    // and takes its lock without waiting. HeldElsewhere: another open of it holds the lock,
    // in this process or any other.
    Result tryLock(const std::string& folder);
    bool held() const { return m_fd >= 0; }
    // The locked folder, open; -1 when nothing is held.
    int fd() const { return m_fd; }
    void release();

private:
    int m_fd = -1;
};

}  // namespace torvane
