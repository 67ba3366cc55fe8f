#pragma once
// Owners of the session's files, so that no path can leave one behind (the player is its own
// owner: see platform/Player.h).

#include <string>
#include <utility>

namespace torvane {

// A file deleted when its owner lets go of it.
class OwnedFile {
public:
    OwnedFile() = default;
    explicit OwnedFile(std::string path) : m_path(std::move(path)) {}
    ~OwnedFile() { reset(); }
    OwnedFile(OwnedFile&& o) noexcept : m_path(std::exchange(o.m_path, {})) {}
    OwnedFile& operator=(OwnedFile&& o) noexcept {
        if (this != &o) {
            reset();
            m_path = std::exchange(o.m_path, {});
        }
        return *this;
    }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;

    const std::string& path() const { return m_path; }
    // Deletes the file when it exists.
    void reset();

private:
    std::string m_path;
};

}  // namespace torvane
