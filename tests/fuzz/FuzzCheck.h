#pragma once
// What the fuzz targets share: a check that stops the run (libFuzzer keeps the input that
// broke it), and a folder of this process's own for the files an open reads and writes.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/OpenDocument.h"
#include "doc/DocumentState.h"
#include "doc/PeakScan.h"
#include "doc/WorkingFile.h"
#include "platform/Progress.h"
#include "platform/WaveHeader.h"
#include "i18n/Messages.h"

#define FUZZ_CHECK(cond)                                                                    \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

namespace torvane::fuzz {

// A folder under $TMPDIR (or /tmp) made once per process and removed at a normal exit.
// A crash leaves it behind; scripts/fuzz points TMPDIR into the build tree for that.
class ScratchFolder {
public:
    static const std::string& path() {
        static ScratchFolder folder;
        return folder.m_path;
    }

private:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/torvane-fuzz-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = std::string(buf.data()) + "/";
    }
    ~ScratchFolder() {
        // Only what the targets put there: the source and the working file.
        for (const char* name : {"x.wav", "x.mp3", "x.wma", "x.flac", "x.ogg", "x.opus", "x.m4a", "x.aiff", "x.rf64",
                                  "AudioTemp.wav"}) unlink((m_path + name).c_str());
        rmdir(m_path.c_str());
    }
    std::string m_path;
};

inline bool writeWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline std::vector<std::uint8_t> readWhole(const std::string& path) {
    std::vector<std::uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

// The header values and the peak table of an open document, against its working file's
// length: every frame lies inside the file and every column has its two peaks.
inline void checkDocument(const DocumentState& doc, std::uint64_t fileLength) {
    const WaveFormat& w = doc.format;
    FUZZ_CHECK((w.channels == 1 || w.channels == 2) && w.sampleRate > 0);
    FUZZ_CHECK(w.bitsPerSample == 8 || w.bitsPerSample == 16);
    // The shortest header: RIFF (12 bytes), "fmt " (24) and the "data" chunk's own 8.
    FUZZ_CHECK(w.dataOffset >= 44 && std::uint64_t(w.dataOffset) + w.dataSize <= fileLength);
    FUZZ_CHECK(w.blockSize != 0 && std::uint64_t(w.frameCount) * w.blockSize <= w.dataSize);
    FUZZ_CHECK(w.dataSize - std::uint64_t(w.frameCount) * w.blockSize < w.blockSize);
    const std::uint64_t perColumn = std::uint64_t(doc.view.framesPerColumn);
    const std::uint64_t columns = doc.view.columnCount;
    FUZZ_CHECK(columns * perColumn >= w.frameCount);
    FUZZ_CHECK(columns == 0 || (columns - 1) * perColumn < w.frameCount);
    FUZZ_CHECK(doc.peaks.left.size() == columns && doc.peaks.right.size() == columns);
    for (std::size_t c = 0; c < columns; ++c) {
        FUZZ_CHECK(doc.peaks.left[c] >= 0 && doc.peaks.left[c] <= 100);
        FUZZ_CHECK(doc.peaks.right[c] >= 0 && doc.peaks.right[c] <= 100);
        if (w.channels == 1) FUZZ_CHECK(doc.peaks.left[c] == doc.peaks.right[c]);
    }
}

// Opens `data` as <scratch>/<name> the way the editor does and checks what an open promises,
// then rescans the peaks at two other zooms. A WAV source (`copied`) of 8 or 16 bits must
// arrive in the working file byte for byte; a decoded one (a wider, float or RF64 WAV too) as a
// 44-byte header and whole frames. Every file
// is gone afterwards, so no iteration sees another's.
inline void openAndCheck(const std::uint8_t* data, std::size_t size, const char* name, bool copied,
                         std::uint64_t workingFileLimit) {
    const std::string folder = ScratchFolder::path();
    const std::string source = folder + name;
    FUZZ_CHECK(writeWhole(source, data, size));
    WaveHeader header;
    copied = copied && readWaveHeaderFile(source, header) == WaveHeaderError::None;

    DocumentState doc;
    doc.tempFolder = folder;
    doc.documentPath = source;
    doc.view.framesPerColumn = kDefaultFramesPerColumn;
    NoProgress progress;
    const Outcome r = openDocument(doc, progress, workingFileLimit);
    FUZZ_CHECK(!r.wasCancelled());
    if (r.ok()) {
        FUZZ_CHECK(doc.workingFilePath == workingFilePathIn(folder));
        const std::vector<std::uint8_t> working = readWhole(doc.workingFilePath);
        FUZZ_CHECK(working.size() <= workingFileLimit);
        if (copied) {
            FUZZ_CHECK(working.size() == size && std::equal(working.begin(), working.end(), data));
        } else {
            FUZZ_CHECK(doc.format.dataOffset == 44 && doc.format.dataSize == working.size() - 44);
            FUZZ_CHECK(doc.format.dataSize % doc.format.blockSize == 0);
        }
        checkDocument(doc, working.size());
        for (std::int32_t perColumn : {1000, 4000}) {
            doc.view.framesPerColumn = perColumn;
            FUZZ_CHECK(reloadPeakTable(doc, progress).ok());
            checkDocument(doc, working.size());
        }
    } else {
        FUZZ_CHECK(r.failedWithMessage() && !messageText(r).empty());
    }
    unlink(source.c_str());
    unlink(workingFilePathIn(folder).c_str());
}

}  // namespace torvane::fuzz
