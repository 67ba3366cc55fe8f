#pragma once
// A test with one Session whose document is opened from given WAV bytes at a given zoom, and
// the plain transcription of the edits set up with that document's values.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "session/Session.h"
#include "support/PlainEdits.h"
#include "support/TestFiles.h"

namespace torvane::test {

// The five edits, for tests that pick them at random.
enum class Op { Delete, CutOut, Volume, Mute, FadeIn, FadeOut };

// Random PCM with the extreme values mixed in, and a layout that is not the canonical 44 bytes
// when `odd` is set: an 18-byte "fmt ", an odd LIST before "data" and a chunk after it (which
// Delete and Cut Out drop, and Undo must bring back).
inline Bytes randomWav(std::mt19937& rng, std::uint16_t channels, std::uint16_t bits, std::uint32_t frames, bool odd) {
    Bytes pcm = randomBytes(std::size_t(frames) * channels * bits / 8, rng);
    const Bytes extremes16 = {0x00, 0x80, 0xFF, 0x7F, 0xFD, 0xFF, 0x01, 0x80};  // -32768, 32767, -3, -32767
    const Bytes extremes8 = {0, 255, 127, 128, 1};
    const Bytes& ex = bits == 16 ? extremes16 : extremes8;
    for (std::size_t at = 0; at + ex.size() <= pcm.size(); at += 997 * ex.size())
        std::copy(ex.begin(), ex.end(), pcm.begin() + std::ptrdiff_t(at));
    RiffBuilder b;
    if (odd) {
        b.fmt(1, channels, 22050, bits, {0, 0}).chunk("LIST", Bytes(7, 'x')).data(pcm).chunk("junk", Bytes(13, 1));
    } else {
        b.fmt(1, channels, 22050, bits).data(pcm);
    }
    return b.bytes();
}

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
    DocumentState& doc() { return session->stateForTests(); }
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
