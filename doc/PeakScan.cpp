#include "doc/PeakScan.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "doc/WorkingFile.h"
#include "platform/FileIo.h"

#if (defined(__unix__) || defined(__APPLE__)) && !defined(TORVANE_NO_MMAP)
#include <sys/mman.h>
#include <unistd.h>
#define TORVANE_HAVE_MMAP 1
#endif

namespace torvane {
namespace {

constexpr std::uint32_t kFrameStep = 100;        // one frame in every 100 is examined
constexpr std::size_t kReadBytes = 1u << 20;     // the scan reads the data in blocks this large

// Hands out the examined frames (frame index 100 * i). The file is mapped where the system
// allows it (no copy at all); otherwise it is read in large sequential blocks.
class ExaminedFrames {
public:
    ExaminedFrames(std::FILE* f, std::uint64_t dataOffset, std::uint32_t blockSize, std::uint64_t examinedCount)
        : m_file(f), m_dataOffset(dataOffset), m_blockSize(blockSize), m_stride(std::uint64_t(blockSize) * kFrameStep),
          m_examinedCount(examinedCount) {
        if (examinedCount == 0) return;
        if (map()) return;
        m_perRead = std::max<std::uint64_t>(1, kReadBytes / m_stride);
        m_buffer.resize(std::size_t((m_perRead - 1) * m_stride + m_blockSize));
    }
    ~ExaminedFrames() {
#ifdef TORVANE_HAVE_MMAP
        if (m_map) munmap(m_map, m_mapLength);
#endif
    }
    ExaminedFrames(const ExaminedFrames&) = delete;
    ExaminedFrames& operator=(const ExaminedFrames&) = delete;

    // The bytes of examined frame i, or nullptr when the file ends before it.
    const unsigned char* frame(std::uint64_t i) {
        if (m_map) return i < m_mappedFrames ? m_mapFrames + i * m_stride : nullptr;
        if (i < m_first || i >= m_first + m_count) {
            if (m_exhausted || !refill(i)) return nullptr;
        }
        return m_buffer.data() + (i - m_first) * m_stride;
    }

private:
    bool map() {
#ifdef TORVANE_HAVE_MMAP
        const std::uint64_t fileLength = fileLengthOf(m_file);
        const std::uint64_t wantEnd = m_dataOffset + (m_examinedCount - 1) * m_stride + m_blockSize;
        const std::uint64_t end = std::min(wantEnd, fileLength);
        if (end <= m_dataOffset || end - m_dataOffset < m_blockSize) return false;
        const std::uint64_t page = std::uint64_t(sysconf(_SC_PAGESIZE));
        const std::uint64_t start = m_dataOffset / page * page;
        if (end - start > std::uint64_t(SIZE_MAX)) return false;
        void* p = mmap(nullptr, std::size_t(end - start), PROT_READ, MAP_SHARED, fileno(m_file), off_t(start));
        if (p == MAP_FAILED) return false;
        madvise(p, std::size_t(end - start), MADV_SEQUENTIAL);
        m_map = p;
        m_mapLength = std::size_t(end - start);
        m_mapFrames = static_cast<const unsigned char*>(p) + (m_dataOffset - start);
        // Whole frames inside the file; a file cut short yields no frame past its end.
        m_mappedFrames = (end - m_dataOffset - m_blockSize) / m_stride + 1;
        return true;
#else
        return false;
#endif
    }

    bool refill(std::uint64_t i) {
        m_first = i;
        m_count = 0;
        const std::uint64_t want = std::min(m_perRead, m_examinedCount - i);
        const std::size_t bytes = std::size_t((want - 1) * m_stride + m_blockSize);
        if (!seekTo(m_file, m_dataOffset + i * m_stride)) {
            m_exhausted = true;
            return false;
        }
        const std::size_t got = std::fread(m_buffer.data(), 1, bytes, m_file);
        if (got >= m_blockSize) m_count = (got - m_blockSize) / m_stride + 1;
        if (got < bytes) m_exhausted = true;
        return m_count > 0;
    }

    std::FILE* m_file;
    std::uint64_t m_dataOffset;
    std::uint32_t m_blockSize;
    std::uint64_t m_stride;
    std::uint64_t m_examinedCount;
    std::uint64_t m_perRead = 0;
    std::vector<unsigned char> m_buffer;
    void* m_map = nullptr;
    std::size_t m_mapLength = 0;
    const unsigned char* m_mapFrames = nullptr;
    std::uint64_t m_mappedFrames = 0;
    std::uint64_t m_first = 0;
    std::uint64_t m_count = 0;
    bool m_exhausted = false;
};

inline int level8(unsigned char b) { return std::abs(int(b) - 128); }
inline int level16(const unsigned char* p) { return std::abs(int(std::int16_t(std::uint16_t(p[0] | (p[1] << 8))))); }

}  // namespace

void replacePeakArrays(DocumentState& doc) {
    doc.peaks.left.assign(doc.view.columnCount, 0);
    doc.peaks.right.assign(doc.view.columnCount, 0);
}

void scanPeaks(std::FILE* f, DocumentState& doc, Progress& progress, int bar) {
    const std::uint32_t columns = doc.view.columnCount;
    if (doc.peaks.left.size() != columns) doc.peaks.left.assign(columns, 0);
    if (doc.peaks.right.size() != columns) doc.peaks.right.assign(columns, 0);
    if (columns == 0) return;

    const std::uint32_t perColumn = std::uint32_t(doc.view.framesPerColumn) / kFrameStep;  // S
    const bool eightBit = doc.format.bitsPerSample == 8;
    const bool mono = doc.format.channels == 1;
    const std::uint32_t block = doc.format.blockSize ? doc.format.blockSize : 1;
    // Frames at or past the frame count contribute nothing.
    const std::uint64_t examined = (std::uint64_t(doc.format.frameCount) + kFrameStep - 1) / kFrameStep;
    ExaminedFrames frames(f, std::uint32_t(doc.format.dataOffset), block, examined);
    PumpThrottle pump(progress);
    const int scale = eightBit ? 128 : 32768;

    for (std::uint32_t c = 0; c < columns; ++c) {
        int maxLeft = 0, maxRight = 0;
        const std::uint64_t first = std::uint64_t(c) * perColumn;
        const std::uint64_t end = std::min<std::uint64_t>(first + perColumn, examined);
        for (std::uint64_t i = first; i < end; ++i) {
            const unsigned char* p = frames.frame(i);
            if (!p) break;
            if (mono) {
                const int m = eightBit ? level8(p[0]) : level16(p);
                if (m > maxLeft) maxLeft = maxRight = m;
            } else {
                const int l = eightBit ? level8(p[0]) : level16(p);
                const int r = eightBit ? level8(p[1]) : level16(p + 2);
                if (l > maxLeft) maxLeft = l;
                if (r > maxRight) maxRight = r;
            }
        }
        doc.peaks.left[c] = std::int16_t(maxLeft * 100 / scale);
        doc.peaks.right[c] = std::int16_t(maxRight * 100 / scale);
        progress.setPercent(bar, int((c + 1) * 100u / columns));
        pump.tick();
    }
}

Outcome reloadPeakTable(DocumentState& doc, Progress& progress, int bar) {
    std::FILE* f = openFile(doc.workingFilePath, "rb");
    if (!f) return Outcome::failed(kMsgCannotOpenTempFile);
    doc.view.columnCount = columnCountFor(doc.format.frameCount, std::uint32_t(doc.view.framesPerColumn));
    replacePeakArrays(doc);
    scanPeaks(f, doc, progress, bar);
    std::fclose(f);
    return Outcome::done();
}

}  // namespace torvane
