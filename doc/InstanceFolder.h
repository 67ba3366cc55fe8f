#pragma once
// Each running editor keeps its working file in a folder of its own, so two instances never
// write the same AudioTemp.wav. An instance holds the lock of its folder for its whole life:
// that, not a process number, tells a live instance's folder from one left by an instance that
// was killed or crashed, whatever PID namespace either runs in.

#include <memory>
#include <string>
#include <vector>

#include "platform/FolderLock.h"
#include "platform/TerminationCleanup.h"

namespace torvane {

// Creates a new, empty folder inside `parent` (which ends in a separator) with its lock taken
// into `lock`, and returns its path ending in a separator; empty when no folder could be made.
std::string createInstanceFolder(const std::string& parent, FolderLock& lock);

// Removes the folder and whatever it still holds. Safe on an empty or missing path.
void removeInstanceFolder(const std::string& folder);

// What becomes of an instance folder found in `parent` at start-up. The one place that decides
// it: a folder whose lock is held (a running instance's, or one another instance is clearing
// or offering) is never touched; one whose instance ended with a modified document and a whole
// working file is offered for recovery; any other is removed. For Offer and Remove the lock is
// taken, and handed to `keep` when given, so that nobody else acts on the folder meanwhile.
enum class LeftFolderFate { NotOurs, Running, Offer, Remove };
LeftFolderFate leftFolderFate(const std::string& parent, const std::string& name, FolderLock* keep = nullptr);

// Removes the folders in `parent` whose instance has ended (it was killed, or it crashed) and
// that hold nothing to recover. Returns how many were removed.
int removeFoldersOfEndedInstances(const std::string& parent);

// A left folder with unsaved work, locked for as long as this is held.
struct LeftFolder {
    std::string path;  // ends in a separator
    FolderLock lock;
};
// The folders in `parent` to offer for recovery, newest first, each locked.
std::vector<LeftFolder> lockFoldersToRecover(const std::string& parent);

// Owns one instance folder, and its lock, for its lifetime.
class InstanceFolder {
public:
    explicit InstanceFolder(const std::string& parent)
        : m_path(createInstanceFolder(parent, m_lock)), m_cleanup(m_path, true) {}
    ~InstanceFolder() { removeInstanceFolder(m_path); }
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;

    bool valid() const { return !m_path.empty(); }
    // A folder holding unsaved work stays when the process is told to end, to be recovered.
    void keepOnTermination(bool keep) { m_cleanup.setKept(keep); }
    const std::string& path() const { return m_path; }

private:
    FolderLock m_lock;  // first: made before the path, let go after the folder is removed
    std::string m_path;
    CleanupRegistration m_cleanup;  // removed as well when the process is told to end
};

}  // namespace torvane
