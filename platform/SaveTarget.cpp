#include "platform/SaveTarget.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Utf8.h"

namespace torvane {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr std::size_t kSuffixLength = 6;                    // random letters of a temporary name
constexpr std::size_t kSuffixBytes = 1 + kSuffixLength + 4;  // "." + letters + ".tmp"

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string randomSuffix() {
    static thread_local std::mt19937_64 rng(std::random_device{}() ^
                                            std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s(kSuffixLength, 'x');
    for (char& c : s) c = kLetters[rng() % (sizeof kLetters - 1)];
    return s;
}

std::size_t nameMaxOf(const std::string& folder) {
    const long n = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return n > 0 ? std::size_t(n) : 255;
}

// Follows a chain of symbolic links to the name that is finally written. A dangling link
// leads to the name it points at, which the save then creates.
bool finalTarget(const std::string& path, std::string& out) {
    std::string p = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = p;
            return true;
        }
        std::vector<char> buffer(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(p.c_str(), buffer.data(), buffer.size());
        if (n < 0 || std::size_t(n) >= buffer.size()) return false;
        const std::string target(buffer.data(), std::size_t(n));
        p = !target.empty() && target[0] == '/' ? target : joinPath(folderOf(p), target);
    }
    errno = ELOOP;
    return false;
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// Streams all of `from` (from offset 0) into `to`, a pipe or a device that takes no offsets.
bool streamAll(int from, int to) {
    std::vector<unsigned char> buffer(kBlockBytes);
    for (std::uint64_t at = 0;;) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!writeAll(to, buffer.data(), std::size_t(n))) return false;
        at += std::uint64_t(n);
    }
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Creates a new file under `folder` named stem + "." + random letters + ".tmp", never through
// an existing file or link, and takes its lock. The lock tells the next save that it is in
// use; a cleaner that removed it in the instant before the lock was taken is noticed, and
// another name is tried.
int createLockedTemporary(const std::string& folder, const std::string& stem, std::string& path, int& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = joinPath(folder, stem + "." + randomSuffix() + ".tmp");
        // Private while it is written: the mode it is to have is given at the end.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = errno;
            return -1;
        }
        struct stat mine, there;
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &there) == 0 &&
            sameInode(mine, there))
            return fd;
        ::close(fd);
    }
    error = EEXIST;
    return -1;
}

// The process's file-creation mask, read without changing it (another thread may be creating
// a file at this moment).
mode_t processUmask() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    unsigned mask = 022;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    if (f) std::fclose(f);
    return mode_t(mask & 0777);
}

// Why a destination that is no file is refused.
MessageId refusedKind(mode_t mode) {
    if (S_ISDIR(mode)) return MessageId::SaveRefusedFolder;
    if (S_ISSOCK(mode)) return MessageId::SaveRefusedSocket;
    if (S_ISBLK(mode)) return MessageId::SaveRefusedBlockDevice;
    return MessageId::SaveRefusedNotWritable;
}

}  // namespace

std::string temporaryStem(const std::string& fileName, std::size_t nameMax) {
    const std::size_t room = nameMax > kSuffixBytes + 1 ? nameMax - kSuffixBytes - 1 : 0;  // 1: the "~"
    std::string stem = "~";
    for (std::size_t i = 0; i < fileName.size();) {
        const std::size_t n = utf8SequenceAt(fileName, i);
        const std::size_t take = n == 0 ? 1 : n;
        if (stem.size() - 1 + take > room) break;
        if (n == 0) stem += '_';
        else stem.append(fileName, i, n);
        i += take;
    }
    return stem;
}

int removeAbandonedTemporaries(const std::string& folder, const std::string& fileName) {
    const std::string stem = temporaryStem(fileName, nameMaxOf(folder)) + ".";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> candidates;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() == stem.size() + kSuffixLength + 4 && name.compare(0, stem.size(), stem) == 0 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0)
            candidates.push_back(name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : candidates) {
        const std::string path = joinPath(folder, name);
        struct stat there, held;
        // Only this user's plain files: never a link, never somebody else's.
        if (::lstat(path.c_str(), &there) != 0 || !S_ISREG(there.st_mode) || there.st_uid != ::geteuid()) continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &there) == 0 &&
            sameInode(held, there) && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

Outcome SaveTarget::prepare(const std::string& destination, const SaveTargetOptions& options,
                            std::unique_ptr<SaveTarget>& target) {
    if (destination.empty()) return Outcome::failed(MessageId::SaveRefusedNoName);
    std::unique_ptr<SaveTarget> t(new SaveTarget);
    t->m_destination = destination;
    t->m_waitForReader = options.standardOutput;
    std::string folder;
    std::string stem;
    if (options.standardOutput && destination == "-") {
        t->m_kind = Kind::Stream;
    } else {
        struct stat st;
        if (::stat(destination.c_str(), &st) == 0) {
            t->m_existed = true;
            if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
                t->m_kind = Kind::Stream;
            } else if (!S_ISREG(st.st_mode)) {
                return Outcome::failed(refusedKind(st.st_mode), destination);
            } else {
                t->m_kind = st.st_nlink > 1 ? Kind::HardLinked : Kind::Replace;
                t->m_mode = unsigned(st.st_mode & 07777);
                t->m_uid = unsigned(st.st_uid);
                t->m_gid = unsigned(st.st_gid);
                t->m_finalDevice = std::uint64_t(st.st_dev);
                t->m_finalInode = std::uint64_t(st.st_ino);
            }
        } else if (errno == ELOOP) {
            return Outcome::failed(MessageId::SaveRefusedSystem, destination, std::strerror(errno));
        } else if (errno != ENOENT) {
            return Outcome::failed(MessageId::SaveNoTempFile).because(errno);  // its folder cannot be reached
        }
        if (t->m_kind != Kind::Stream) {
            if (!finalTarget(destination, t->m_final))
                return Outcome::failed(MessageId::SaveRefusedSystem, destination, std::strerror(errno));
            folder = folderOf(t->m_final);
            stem = temporaryStem(nameOf(t->m_final), nameMaxOf(folder));
            removeAbandonedTemporaries(folder, nameOf(t->m_final));
        }
    }
    if (t->m_kind == Kind::Stream) {
        if (options.scratchFolder.empty()) return Outcome::failed(MessageId::SaveNoTempFile);
        folder = options.scratchFolder;
        stem = "Save";
    }
    int error = 0;
    t->m_file = File(createLockedTemporary(folder, stem, t->m_temporary, error));
    if (!t->m_file) {
        t->m_temporary.clear();
        return Outcome::failed(MessageId::SaveNoTempFile).because(error);
    }
    struct stat mine;
    ::fstat(t->m_file.fd(), &mine);
    t->m_device = std::uint64_t(mine.st_dev);
    t->m_inode = std::uint64_t(mine.st_ino);
    t->m_cleanup = std::make_unique<CleanupRegistration>(t->m_temporary, false);
    target = std::move(t);
    return Outcome::done();
}

SaveTarget::~SaveTarget() { discardTemporary(); }

void SaveTarget::discardTemporary() {
    if (!m_temporary.empty()) {
        // Only our own file: whatever another program may have put under the name stays.
        struct stat there;
        if (::lstat(m_temporary.c_str(), &there) == 0 && std::uint64_t(there.st_dev) == m_device &&
            std::uint64_t(there.st_ino) == m_inode)
            ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
    m_cleanup.reset();
    m_file.close();
}

bool SaveTarget::adopt(const std::string& path) {
    File f(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    struct stat st, there;
    if (!f || ::fstat(f.fd(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid() ||
        std::uint64_t(st.st_dev) != m_device)
        return false;
    // Locked and private before it takes the name, as the file it replaces was.
    if (::flock(f.fd(), LOCK_EX | LOCK_NB) != 0 || ::fchmod(f.fd(), 0600) != 0 ||
        ::rename(path.c_str(), m_temporary.c_str()) != 0)
        return false;
    // Whatever now has the name, the file written from here on is this one: commit() puts
    // nothing in place that is not.
    m_file = std::move(f);
    if (::lstat(m_temporary.c_str(), &there) != 0 || there.st_ino != st.st_ino) return false;
    m_inode = std::uint64_t(st.st_ino);
    ::futimens(m_file.fd(), nullptr);  // written now, as a copy would have been
    return true;
}

std::string SaveTarget::pathForLibraries() const {
    return validUtf8(m_temporary) ? m_temporary : "/proc/self/fd/" + std::to_string(m_file.fd());
}

Outcome SaveTarget::commit() {
    struct stat mine, there;
    // The temporary file must still be ours: nothing else is put in the user's place.
    if (::fstat(m_file.fd(), &mine) != 0 || ::lstat(m_temporary.c_str(), &there) != 0 || !sameInode(mine, there) ||
        !S_ISREG(there.st_mode)) {
        discardTemporary();
        return Outcome::failed(MessageId::SaveCannotReplace);
    }
    if (!m_file.sync()) {
        const int e = errno;
        discardTemporary();
        return Outcome::failed(MessageId::SaveWriteFailed).because(e);
    }
    Outcome r = Outcome::done();
    switch (m_kind) {
    case Kind::Replace: {
        struct stat now;
        const bool present = ::lstat(m_final.c_str(), &now) == 0;
        // What stands there now must still be a plain file, or nothing: another save may have
        // replaced it meanwhile (the last one wins, whole), but nothing else is renamed over.
        if (present && !S_ISREG(now.st_mode)) {
            r = Outcome::failed(MessageId::SaveCannotReplace);
            break;
        }
        if (m_existed) {
            // Owner first: a change of owner clears the set-id bits that the mode then restores.
            const int fd = m_file.fd();
            if (::fchown(fd, uid_t(m_uid), gid_t(m_gid)) != 0) (void)!::fchown(fd, uid_t(-1), gid_t(m_gid));
            ::fchmod(fd, mode_t(m_mode));
        } else {
            ::fchmod(m_file.fd(), 0666 & ~processUmask());  // what a new file gets
        }
        if (::rename(m_temporary.c_str(), m_final.c_str()) != 0) {
            r = Outcome::failed(MessageId::SaveCannotReplace);
            break;
        }
        m_temporary.clear();  // it is the destination now
        syncFolder(folderOf(m_final));
        break;
    }
    case Kind::HardLinked: {
        File out(::open(m_final.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (!out || ::fstat(out.fd(), &st) != 0 || std::uint64_t(st.st_dev) != m_finalDevice ||
            std::uint64_t(st.st_ino) != m_finalInode) {
            r = Outcome::failed(MessageId::SaveCannotReplace);
            break;
        }
        // The room is taken before the first byte changes, so a full disk fails here with the
        // file as it was.
        const off_t size = mine.st_size;
        const int reserved = size > st.st_size ? ::fallocate(out.fd(), FALLOC_FL_KEEP_SIZE, 0, size) : 0;
        if (reserved != 0 && errno != EOPNOTSUPP) {
            r = Outcome::failed(MessageId::SaveWriteFailed).because(errno);
            break;
        }
        const bool ok = copyBlocks(m_file, 0, out, 0, std::uint64_t(size)).done() && out.truncate(std::uint64_t(size)) &&
                        out.sync();
        const int e = errno;
        if (!out.close() || !ok) r = Outcome::failed(MessageId::SaveWriteFailed).because(ok ? errno : e);
        break;
    }
    case Kind::Stream: {
        const bool standardOutput = m_destination == "-" && m_final.empty();
        // In a shell, opening a FIFO waits for its reader, as any program writing into one does;
        // the editor's window must not freeze on it, so there a FIFO nobody reads is a failure.
        const int wait = m_waitForReader ? 0 : O_NONBLOCK;
        const File opened(standardOutput ? -1 : ::open(m_destination.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | wait));
        const int out = standardOutput ? STDOUT_FILENO : opened.fd();
        if (out >= 0 && wait) ::fcntl(out, F_SETFL, ::fcntl(out, F_GETFL) & ~O_NONBLOCK);
        struct stat st;
        if (out < 0 || ::fstat(out, &st) != 0 || (!standardOutput && !S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode))) {
            const int e = errno;
            r = out >= 0      ? Outcome::failed(MessageId::SaveStreamReplaced, m_destination)
                : e == ENXIO ? Outcome::failed(MessageId::SaveStreamNoReader, m_destination)
                             : Outcome::failed(MessageId::SaveStreamFailed, m_destination, std::strerror(e));
            break;
        }
        const bool ok = streamAll(m_file.fd(), out);
        const int e = errno;
        if (!ok) r = Outcome::failed(MessageId::SaveStreamFailed, m_destination, std::strerror(e));
        break;
    }
    }
    discardTemporary();
    return r;
}

}  // namespace torvane
