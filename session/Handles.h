#pragma once
// Owners of the session's two resources, so that no path can leave one behind: the playback
// stream (freed with the engine) and the working file (deleted from disk).

#include <string>
#include <utility>

#include "doc/DocumentState.h"

namespace torvane {

class PlaybackStream {
public:
    PlaybackStream() = default;
    // Opens a playback stream on a PCM WAV file; invalid when the engine refuses it.
    explicit PlaybackStream(const std::string& wavPath);
    ~PlaybackStream() { reset(); }
    PlaybackStream(PlaybackStream&& o) noexcept : m_handle(std::exchange(o.m_handle, 0)) {}
    PlaybackStream& operator=(PlaybackStream&& o) noexcept {
        if (this != &o) {
            reset();
            m_handle = std::exchange(o.m_handle, 0);
        }
        return *this;
    }
    PlaybackStream(const PlaybackStream&) = delete;
    PlaybackStream& operator=(const PlaybackStream&) = delete;

    StreamHandle handle() const { return m_handle; }
    bool valid() const { return m_handle != 0; }
    // Lengths are 64-bit: a document may be 2 GiB or more.
    std::uint64_t length() const;
    void reset();

private:
    StreamHandle m_handle = 0;
};

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
