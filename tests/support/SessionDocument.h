#pragma once
// A test with one Session whose document is opened from given WAV bytes at a given zoom, and
// the plain transcription of the edits set up with that document's values.

#include <gtest/gtest.h>

#include <memory>

#include "session/Session.h"
#include "support/PlainEdits.h"
#include "support/TestFiles.h"

namespace torvane::test {

class SessionDocumentTest : public ::testing::Test {
protected:
    void openDoc(const Bytes& wav, std::int32_t zoom) {
        session = std::make_unique<Session>();
        ASSERT_TRUE(session->createFolder(dir.path()));
        const std::string source = dir.file("source.wav");
        writeFile(source, wav);
        NoProgress none;
        ASSERT_TRUE(session->open(source, none).ok());
        ASSERT_TRUE(session->zoomTo(zoom, none).ok());
    }
    DocumentState& doc() { return session->doc(); }
    // The plain model of `file` with the document's header values, zoom and markers.
    Plain plain(const Bytes& file) {
        const DocumentState& d = doc();
        return Plain{file, std::uint32_t(d.format.dataOffset), std::uint32_t(d.format.dataEnd), d.format.blockSize,
                     std::uint32_t(d.view.framesPerColumn), d.selection.startMarker, d.selection.finishMarker,
                     d.format.bitsPerSample};
    }
    Plain plain() { return plain(readFile(doc().workingFilePath)); }

    TempDir dir;
    std::unique_ptr<Session> session;
};

}  // namespace torvane::test
