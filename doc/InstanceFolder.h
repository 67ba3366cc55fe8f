#pragma once
// Each running editor keeps its working file in a folder of its own inside the system's
// temp folder, so two instances never write the same AudioTemp.wav.

#include <memory>
#include <string>
#include <vector>

#include "platform/TerminationCleanup.h"

namespace torvane {

// Creates a new, empty folder inside `parent` (which ends in a separator) and returns its
// path ending in a separator; empty when no folder could be created.
std::string createInstanceFolder(const std::string& parent);

// Removes the folder and whatever it still holds. Safe on an empty or missing path.
void removeInstanceFolder(const std::string& folder);

// What becomes of an instance folder found in the temp folder at start-up. The one place that
// decides it: a folder of a running instance is never touched; one whose instance ended with a
// modified document and a whole working file is offered for recovery; any other is removed.
enum class LeftFolderFate { NotOurs, Running, Offer, Remove };
LeftFolderFate leftFolderFate(const std::string& parent, const std::string& name);

// Removes the folders in `parent` whose instance has ended (it was killed, or it crashed) and
// that hold nothing to recover. Returns how many were removed.
int removeFoldersOfEndedInstances(const std::string& parent);
// The folders in `parent` (with a separator) to offer for recovery, newest first.
std::vector<std::string> foldersToRecover(const std::string& parent);

// Owns one instance folder for its lifetime.
class InstanceFolder {
public:
    explicit InstanceFolder(const std::string& parent)
        : m_path(createInstanceFolder(parent)), m_cleanup(m_path, true) {}
    ~InstanceFolder() { removeInstanceFolder(m_path); }
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;

    bool valid() const { return !m_path.empty(); }
    // A folder holding unsaved work stays when the process is told to end, to be recovered.
    void keepOnTermination(bool keep) { m_cleanup.setKept(keep); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    CleanupRegistration m_cleanup;  // removed as well when the process is told to end
};

}  // namespace torvane
