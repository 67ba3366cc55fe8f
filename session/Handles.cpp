#include "session/Handles.h"

#include "platform/Bass.h"
#include "platform/FileIo.h"

namespace torvane {

PlaybackStream::PlaybackStream(const std::string& wavPath)
    : m_handle(BASS_StreamCreateFile(0, wavPath.c_str(), 0, 0, 0)) {}

std::uint64_t PlaybackStream::length() const {
    if (!m_handle) return 0;
    const QWORD n = BASS_ChannelGetLength(m_handle, BASS_POS_BYTE);
    return n == QWORD(-1) ? 0 : n;
}

void PlaybackStream::reset() {
    if (m_handle) BASS_StreamFree(std::exchange(m_handle, 0));
}

void OwnedFile::reset() {
    if (!m_path.empty() && fileExists(m_path)) discardFile(m_path);
    m_path.clear();
}

}  // namespace torvane
