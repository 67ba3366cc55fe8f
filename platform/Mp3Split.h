#pragma once
// An MP3 decoded on several threads at once. The stream is cut at frame boundaries into parts;
// each part's decoder starts a few frames early (a frame's data may begin up to 511 bytes back in
// the frames before it, and the filter banks carry the previous granule over) and drops what
// those frames give, so that the parts joined are, sample for sample, what Decoder::read gives
// on one thread: the same packets reach the codec, with the demuxer's start skip and end trim.
// Only a source that is one unchanging Layer III stream of whole frames is cut.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace torvane {

class Decoder;

class Mp3Split {
public:
    // nullptr when the source is not to be cut: not an MP3 of Layer III frames, one whose rate,
    // version or channel mode changes, a free-format stream, bytes between frames, anything
    // else the demuxer hands out differently from whole frames, too short for `parts` parts, or
    // when `stop` says so while the file is indexed. `starts` (for tests): the first frame of
    // each part after the first, in place of equal shares; those that cannot begin a part
    // (ascending order, the start skip and end trim inside the first and last parts) are dropped.
    static std::unique_ptr<Mp3Split> plan(const std::string& utf8Path, unsigned parts,
                                          const std::function<bool()>& stop = {},
                                          const std::vector<std::size_t>& starts = {});
    ~Mp3Split();

    std::size_t partCount() const { return m_parts.size(); }
    std::size_t frameCount() const { return m_pos.size() - 1; }
    // Where the samples of part `k` begin among the decoded bytes, and where the last part's end
    // at most: each part but the last gives exactly its share, else it has gone wrong.
    std::uint64_t partOffset(std::size_t k) const { return m_parts[k].offset; }
    std::uint64_t totalBytes() const { return m_total; }

    enum class PartEnd { Done, Diverged, Stopped, SinkFailed };
    using Sink = std::function<bool(const unsigned char* bytes, std::size_t size)>;
    // Decodes part `k` (any thread; parts at the same time), handing its samples in order to
    // `sink`. Diverged: the part did not give what the plan says (a damaged frame, a file that
    // changed): the source is then to be decoded on one thread. Stopped when `stop` became true.
    PartEnd decodePart(std::size_t k, const Sink& sink, const std::atomic<bool>& stop) const;

private:
    struct Part {
        std::size_t warm, first, end;  // frames: decoded from warm, kept from first, up to end
        std::uint64_t offset;
    };
    struct SideData {
        std::size_t frame;
        int type;
        std::vector<std::uint8_t> bytes;
    };
    Mp3Split() = default;

    std::string m_path;
    std::unique_ptr<Decoder> m_decoder;      // indexed the file; its twins decode the parts
    std::vector<std::uint64_t> m_pos;        // file offset of each frame, and the end
    std::vector<std::uint32_t> m_mainData;   // bytes of each frame after its header and side info
    std::vector<SideData> m_side;
    std::vector<Part> m_parts;
    std::uint64_t m_frameBytes = 0;          // decoded bytes of one whole frame
    std::uint64_t m_total = 0;
};

}  // namespace torvane
