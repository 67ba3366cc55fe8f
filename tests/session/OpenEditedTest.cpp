// Delete and Cut Out done by the open against the commands one by one and the plain edits.

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "doc/WorkingFile.h"
#include "session/Session.h"
#include "support/PlainEdits.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

// Every value of the document but its folders, the peak table, and the session's undo state.
static std::string stateOf(const Session& s) {
    const DocumentState& d = s.doc();
    const WaveFormat& f = d.format;
    std::ostringstream o;
    o << f.channels << ' ' << f.sampleRate << ' ' << f.bitsPerSample << ' ' << f.dataSize << ' ' << f.dataEnd << ' '
      << f.duration << ' ' << f.dataOffset << ' ' << f.blockSize << ' ' << f.frameCount << ' ' << d.view.framesPerColumn
      << ' ' << d.view.columnCount << ' ' << d.selection.startMarker << ' ' << d.selection.finishMarker << ' '
      << d.modified << d.loaded << d.uiMode << ' ' << d.sourceBitRate << ' ' << d.source.codec << d.source.bits
      << d.source.rate << d.source.channels << d.source.tags.empty() << ' ' << d.streamLength << ' ' << d.documentPath
      << ' ' << s.canUndo() << s.canRedo() << " |";
    for (std::size_t c = 0; c < d.peaks.left.size() || c < d.peaks.right.size(); ++c)
        o << ' ' << d.peaks.left.at(c) << '/' << d.peaks.right.at(c);
    return o.str();
}

TEST(OpenEditedTest, LeavesTheDocumentOfOpenThenEdit) {
    std::mt19937 rng(1209);
    TempDir dir;
    const std::string source = dir.file("source.wav");
    for (int round = 0; round < 400; ++round) {
        const std::uint16_t channels = std::uint16_t(1 + rng() % 2), bits = rng() % 2 ? 8 : 16;
        const std::int32_t zoom = kZoomLevels[rng() % kZoomLevels.size()];
        const std::uint32_t frames = rng() % 4 ? rng() % std::uint32_t(4 * zoom) : rng() % 3;
        // A byte past the last frame, chunks around the data, a data chunk longer than the file.
        const Bytes pcm = randomBytes(frames * channels * bits / 8 + rng() % 2, rng);
        const int layout = int(rng() % 3);
        RiffBuilder b;
        b.fmt(1, channels, 22050, bits, layout ? Bytes{0, 0} : Bytes{});
        if (layout) b.chunk("LIST", Bytes(7, 'x'));
        if (layout == 2) b.chunkWithSize("data", std::uint32_t(pcm.size() + 1000), pcm);
        else b.data(pcm).chunk("junk", Bytes(13, 1));
        writeFile(source, b.bytes());
        const std::uint32_t columns = columnCountFor(frames, std::uint32_t(zoom));
        std::optional<Selection> selection;  // none: the whole document, as open selects it
        if (rng() % 4) {
            const std::uint32_t start = rng() % 3 ? 0 : std::uint32_t(rng() % (columns + 1));
            selection = Selection{start, rng() % 3 ? columns - 1 : start + std::uint32_t(rng() % (columns + 1))};
        }
        const EditKind kind = rng() % 2 ? EditKind::Delete : EditKind::CutOut;
        SCOPED_TRACE(::testing::Message() << round << ": " << channels << "x" << bits << " frames " << frames << " zoom "
                                          << zoom << " layout " << layout << " kind " << int(kind));

        Session steps, fused;
        NoProgress none;
        ASSERT_TRUE(steps.createFolder(dir.path()) && fused.createFolder(dir.path()));
        ASSERT_TRUE(steps.open(source, none).ok() && steps.zoomTo(zoom, none).ok());
        const DocumentState& d = steps.doc();
        const bool selected = !selection || steps.select(selection->startMarker, selection->finishMarker);
        const bool edits = selected && (kind == EditKind::Delete || steps.cutOutAllowed());
        Plain plain{readFile(d.workingFilePath), std::uint32_t(d.format.dataOffset), std::uint32_t(d.format.dataEnd),
                    d.format.blockSize, std::uint32_t(zoom), d.selection.startMarker, d.selection.finishMarker, bits};
        steps.keepUndo(false);
        const std::optional<Outcome> r = fused.openEdited(source, zoom, kind, selection, none);
        ASSERT_EQ(r.has_value(), edits);
        if (!edits) continue;
        ASSERT_TRUE(r->ok());
        ASSERT_TRUE((kind == EditKind::Delete ? steps.deleteSelection(none) : steps.cutOut(none)).ok());
        kind == EditKind::Delete ? plain.deleteSelection() : plain.cutOut();
        EXPECT_TRUE(readFile(fused.doc().workingFilePath) == plain.file);
        EXPECT_TRUE(readFile(fused.doc().workingFilePath) == readFile(d.workingFilePath));
        EXPECT_EQ(stateOf(fused), stateOf(steps));
    }
}
