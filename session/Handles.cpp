#include "session/Handles.h"

#include "platform/FileIo.h"

namespace torvane {

void OwnedFile::reset() {
    if (!m_path.empty() && fileExists(m_path)) discardFile(m_path);
    m_path.clear();
}

}  // namespace torvane
