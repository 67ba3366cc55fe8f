#pragma once
// What a process told to end (Ctrl+C, kill, a closed terminal) must not leave behind: its
// instance folder with a working file of up to 4 GB, a half-written save. The handler removes
// what is registered, then lets the signal end the process as it would have.

#include <string>

namespace torvane {

// Installs the handler for SIGINT, SIGTERM and SIGHUP, and makes a write past a file-size
// limit fail instead of killing the process. Programs call it once, early.
void installTerminationCleanup();

// Registers a folder (its files and the folder itself are removed) or a single file. Up to a
// fixed number of paths at once; returns a slot id, or -1 when the path was not registered.
int registerCleanupPath(const std::string& path, bool isFolder);
void unregisterCleanupPath(int slot);
// A kept path stays registered but is left alone by the handler.
void setCleanupPathKept(int slot, bool kept);

// RAII registration.
class CleanupRegistration {
public:
    CleanupRegistration() = default;
    CleanupRegistration(const std::string& path, bool isFolder) : m_slot(registerCleanupPath(path, isFolder)) {}
    ~CleanupRegistration() { unregisterCleanupPath(m_slot); }
    void setKept(bool kept) { setCleanupPathKept(m_slot, kept); }
    CleanupRegistration(const CleanupRegistration&) = delete;
    CleanupRegistration& operator=(const CleanupRegistration&) = delete;

private:
    int m_slot = -1;
};

}  // namespace torvane
