#pragma once
// Where a save writes and how its finished bytes reach the user's file, whatever that file is.
// Writers write into a temporary file of ours (created exclusively under a unique name, locked
// while we work); commit() then puts it in place without harming what the name stood for:
// - a regular file or no file: the temporary file beside it gets the old file's permission bits
//   (and owner and group where we may) and is renamed over it;
// - a symbolic link (any chain): the same at its final target; the link stays a link;
// - a file with more than one hard link: the finished bytes are copied into the existing file,
//   so every name sees the new audio;
// - a FIFO, a character device or "-" (standard output): the finished bytes are streamed into
//   it; it is never unlinked, renamed or truncated;
// - a folder, a socket, a block device: refused, nothing changed.
// A temporary file left by a save that was killed is removed by the next save to that
// destination, once no process holds its lock.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/File.h"
#include "platform/Outcome.h"
#include "platform/TerminationCleanup.h"

namespace torvane {

struct SaveTargetOptions {
    std::string scratchFolder;     // where a stream's bytes are gathered first (ends in a separator)
    bool standardOutput = false;   // "-" means standard output, and a FIFO is waited for (a shell's tool)
};

class SaveTarget {
public:
    enum class Kind { Replace, HardLinked, Stream };

    // Works out what `destination` is and makes the temporary file to write. Failed (with the
    // message) when it is refused or no temporary file can be made; nothing is changed then.
    static Outcome prepare(const std::string& destination, const SaveTargetOptions& options,
                           std::unique_ptr<SaveTarget>& target);
    ~SaveTarget();
    SaveTarget(const SaveTarget&) = delete;
    SaveTarget& operator=(const SaveTarget&) = delete;

    Kind kind() const { return m_kind; }
    const std::string& temporaryPath() const { return m_temporary; }
    // The temporary file, to be written from its start.
    File& file() { return m_file; }
    // A name a library may open the temporary file by: its path, or where that is not valid
    // UTF-8 (a library taking wide names could not reach it), the descriptor's /proc name.
    std::string pathForLibraries() const;

    // Makes the finished file `path` the temporary file instead of copying it there: renamed
    // over the one prepare() made, when it is a plain file of ours with no other name on the
    // same file system. Its bytes must be the whole result. False when it was not moved.
    bool adopt(const std::string& path);

    // Puts the finished temporary file in place. The temporary file is gone afterwards,
    // whatever happened.
    Outcome commit();

private:
    SaveTarget() = default;
    void discardTemporary();

    Kind m_kind = Kind::Replace;
    std::string m_destination;  // as the user named it
    std::string m_final;        // the file written: the destination, or its links' final target
    std::string m_temporary;
    File m_file;
    bool m_existed = false;
    bool m_waitForReader = false;
    std::uint64_t m_device = 0, m_inode = 0;  // of the temporary file
    std::uint64_t m_finalDevice = 0, m_finalInode = 0;
    unsigned m_mode = 0, m_uid = 0, m_gid = 0;  // of the file replaced
    std::unique_ptr<CleanupRegistration> m_cleanup;
};

// The "~NAME" part shared by every temporary file of `destination`, cut so that a unique
// suffix still fits a name limit of `nameMax` bytes, and with any byte sequence that is not
// UTF-8 replaced by '_'.
std::string temporaryStem(const std::string& fileName, std::size_t nameMax);

// Removes, in `folder`, the temporary files of saves to `fileName` that no process holds any
// more (a save killed part-way). Returns how many were removed.
int removeAbandonedTemporaries(const std::string& folder, const std::string& fileName);

}  // namespace torvane
