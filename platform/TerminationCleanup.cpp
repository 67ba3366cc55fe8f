#include "platform/TerminationCleanup.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace torvane {
namespace {

constexpr int kSlots = 16;
constexpr std::size_t kMaxPath = 4096;

// Fixed storage: the handler may read it at any moment, so nothing here allocates or locks.
// A slot's path is written before its state turns to Used and cleared only after it leaves.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being written, 2 used
    std::atomic<bool> kept{false};
    bool isFolder = false;
    char path[kMaxPath] = {};
};
Slot g_slots[kSlots];

#ifndef _WIN32
// Removes the plain files of a folder, then the folder, with async-signal-safe calls only.
// The folders registered hold files only (the working file and its companions).
void removeFolderNow(const char* path) {
    const int dir = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long n = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
            if (n <= 0) break;
            for (long at = 0; at < n;) {
                // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name.
                unsigned short reclen;
                std::memcpy(&reclen, buffer + at + 16, sizeof reclen);
                const char* name = buffer + at + 19;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) ::unlinkat(dir, name, 0);
                at += reclen;
            }
        }
        ::close(dir);
    }
    ::rmdir(path);
}

void onTerminate(int sig) {
    const int savedErrno = errno;
    for (Slot& s : g_slots) {
        if (s.state.load(std::memory_order_acquire) != 2 || s.kept.load(std::memory_order_acquire)) continue;
        if (s.isFolder)
            removeFolderNow(s.path);
        else
            ::unlink(s.path);
    }
    errno = savedErrno;
    // End the way the signal would have: the parent sees the signal, not an exit code.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}
#endif

}  // namespace

void installTerminationCleanup() {
#ifndef _WIN32
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    // The other two wait while one handler runs: the folder is removed once.
    sigaddset(&sa.sa_mask, SIGINT);
    sigaddset(&sa.sa_mask, SIGTERM);
    sigaddset(&sa.sa_mask, SIGHUP);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &sa, nullptr);
    }
    // Past a file-size limit a write fails with EFBIG, which every writer reports as a full
    // disk; the default action would kill the process and leave its files behind.
    ::signal(SIGXFSZ, SIG_IGN);
#endif
}

int registerCleanupPath(const std::string& path, bool isFolder) {
    if (path.empty() || path.size() >= kMaxPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!g_slots[i].state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].isFolder = isFolder;
        g_slots[i].kept.store(false, std::memory_order_release);
        g_slots[i].state.store(2, std::memory_order_release);
        return i;
    }
    return -1;
}

void setCleanupPathKept(int slot, bool kept) {
    if (slot >= 0 && slot < kSlots) g_slots[slot].kept.store(kept, std::memory_order_release);
}

void unregisterCleanupPath(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    g_slots[slot].state.store(0, std::memory_order_release);
}

}  // namespace torvane
