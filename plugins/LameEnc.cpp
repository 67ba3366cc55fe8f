// lame_enc: the MP3 encoder library the editor loads from its own folder, with the BladeEnc
// style entry points over libmp3lame. Samples are counted over all channels; handles are small
// numbers into a table of live encoders, never reused, so a stale handle is refused.
//
// Test builds of this file leave an entry point out or make one fail (the LAMEENC_* compile
// definitions), so the editor's handling of a broken library can be exercised.

#include <lame/lame.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#define LAMEENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::uint32_t kSuccessful = 0;
constexpr std::uint32_t kInvalidFormat = 1;
constexpr std::uint32_t kInvalidFormatParameters = 2;
constexpr std::uint32_t kNoMoreHandles = 3;
constexpr std::uint32_t kInvalidHandle = 4;
constexpr std::uint32_t kBufferTooSmall = 5;

// The configuration record: 331 bytes, packed, little-endian.
constexpr std::size_t kRecordSize = 331;
constexpr std::size_t kKindAt = 0, kRateAt = 4, kModeAt = 8, kBitRateAt = 9, kPrivateAt = 11, kCrcAt = 15,
                      kCopyrightAt = 19, kOriginalAt = 23;

// Encoder frames handed over per chunk: a few, so the caller's loop stays short.
constexpr int kFramesPerChunk = 8;

#ifdef LAMEENC_INIT_FAILS
constexpr bool kInitFails = true;
#else
constexpr bool kInitFails = false;
#endif
#ifdef LAMEENC_THIRD_ENCODE_FAILS
constexpr bool kThirdEncodeFails = true;
#else
constexpr bool kThirdEncodeFails = false;
#endif

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

struct Stream {
    lame_t lame = nullptr;
    int channels = 2;
    std::uint32_t samplesPerChunk = 0;
    std::uint32_t outputBufferSize = 0;
    int encodeCalls = 0;
    std::vector<std::uint8_t> infoTag;  // taken when the stream ends
    ~Stream() {
        if (lame) lame_close(lame);
    }
};

struct Table {
    std::mutex mutex;
    std::uint32_t nextHandle = 1;
    std::map<std::uint32_t, std::unique_ptr<Stream>> live;
    // Info frames of closed streams, kept for beWriteInfoTag; only the latest few, since a
    // caller that does not rewrite the tag never claims them.
    std::deque<std::pair<std::uint32_t, std::vector<std::uint8_t>>> tags;
};

// libmp3lame prints its warnings to stderr unless told otherwise; a library inside the editor
// has no terminal to write to, and its failures reach the caller as results.
void silent(const char*, va_list) {}

Table& table() {
    static Table t;
    return t;
}

Stream* find(std::uint32_t handle) {
    auto it = table().live.find(handle);
    return it == table().live.end() ? nullptr : it->second.get();
}

#ifdef LAMEENC_DUMP_RECORD
// Keeps the record exactly as received, for the test that checks its layout.
void dumpRecord(const void* config) {
    const char* path = std::getenv("TORVANE_LAME_RECORD_FILE");
    if (!path || !config) return;
    if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(config, 1, kRecordSize, f);
        std::fclose(f);
    }
}
#endif

}  // namespace

LAMEENC_EXPORT std::uint32_t beInitStream(const void* config, std::uint32_t* samplesPerChunk,
                                          std::uint32_t* outputBufferSize, std::uint32_t* stream) {
#ifdef LAMEENC_DUMP_RECORD
    dumpRecord(config);
#endif
    if (kInitFails) return kInvalidFormat;
    if (!config || !samplesPerChunk || !outputBufferSize || !stream) return kInvalidFormatParameters;
    const auto* r = static_cast<const std::uint8_t*>(config);
    if (le32(r + kKindAt) != 0) return kInvalidFormat;
    const std::uint32_t rate = le32(r + kRateAt);
    const std::uint8_t mode = r[kModeAt];
    const std::uint16_t kbps = le16(r + kBitRateAt);
    if (mode > 3 || rate == 0 || kbps == 0) return kInvalidFormatParameters;

    auto s = std::make_unique<Stream>();
    s->lame = lame_init();
    if (!s->lame) return kNoMoreHandles;
    s->channels = mode == 3 ? 1 : 2;
    static const MPEG_mode kModes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
    lame_t l = s->lame;
    lame_set_errorf(l, silent);
    lame_set_debugf(l, silent);
    lame_set_msgf(l, silent);
    lame_set_num_channels(l, s->channels);
    lame_set_in_samplerate(l, int(rate));
    lame_set_out_samplerate(l, int(rate));
    lame_set_mode(l, kModes[mode]);
    lame_set_VBR(l, vbr_off);
    lame_set_brate(l, kbps);
    lame_set_extension(l, le32(r + kPrivateAt) ? 1 : 0);
    lame_set_error_protection(l, le32(r + kCrcAt) ? 1 : 0);
    lame_set_copyright(l, le32(r + kCopyrightAt) ? 1 : 0);
    lame_set_original(l, le32(r + kOriginalAt) ? 1 : 0);
    // The first frame is reserved for the Info tag (exact length, encoder delay and padding);
    // beWriteInfoTag fills it in once the file is complete.
    lame_set_bWriteVbrTag(l, 1);
    lame_set_write_id3tag_automatic(l, 0);
    if (lame_init_params(l) < 0) return kInvalidFormatParameters;
    // No resampling: a rate lame would have to change is not one MP3 can carry. (A bit rate
    // the rate's MPEG version lacks becomes the nearest one it has.)
    if (lame_get_out_samplerate(l) != int(rate)) return kInvalidFormatParameters;

    s->samplesPerChunk = std::uint32_t(lame_get_framesize(l) * s->channels * kFramesPerChunk);
    // lame's worst case: 1.25 bytes a sample plus 7200.
    s->outputBufferSize = s->samplesPerChunk + s->samplesPerChunk / 4 + 7200;

    std::lock_guard<std::mutex> lock(table().mutex);
    const std::uint32_t handle = table().nextHandle++;
    if (handle == 0) return kNoMoreHandles;
    *samplesPerChunk = s->samplesPerChunk;
    *outputBufferSize = s->outputBufferSize;
    *stream = handle;
    table().live.emplace(handle, std::move(s));
    return kSuccessful;
}

LAMEENC_EXPORT std::uint32_t beEncodeChunk(std::uint32_t stream, std::uint32_t sampleCount, const std::int16_t* samples,
                                           std::uint8_t* output, std::uint32_t* outputCount) {
    std::lock_guard<std::mutex> lock(table().mutex);
    Stream* s = find(stream);
    if (!s) return kInvalidHandle;
    if (!outputCount || !output || (sampleCount && !samples)) return kInvalidFormatParameters;
    ++s->encodeCalls;
    if (kThirdEncodeFails && s->encodeCalls == 3) return kInvalidFormatParameters;
    if (sampleCount % std::uint32_t(s->channels)) return kInvalidFormatParameters;
    const int frames = int(sampleCount / std::uint32_t(s->channels));
    // Room for this many samples, however many the caller passed.
    const std::uint32_t need = sampleCount + sampleCount / 4 + 7200;
    const int room = int(need > s->outputBufferSize ? s->outputBufferSize : need);
    int n;
    auto* pcm = const_cast<short*>(reinterpret_cast<const short*>(samples));
    if (s->channels == 2)
        n = lame_encode_buffer_interleaved(s->lame, pcm, frames, output, room);
    else
        n = lame_encode_buffer(s->lame, pcm, pcm, frames, output, room);
    if (n == -1) return kBufferTooSmall;
    if (n < 0) return kInvalidFormat;
    *outputCount = std::uint32_t(n);
    return kSuccessful;
}

LAMEENC_EXPORT std::uint32_t beDeinitStream(std::uint32_t stream, std::uint8_t* output, std::uint32_t* outputCount) {
    std::lock_guard<std::mutex> lock(table().mutex);
    Stream* s = find(stream);
    if (!s) return kInvalidHandle;
    if (!output || !outputCount) return kInvalidFormatParameters;
    const int n = lame_encode_flush(s->lame, output, int(s->outputBufferSize));
    if (n < 0) return kBufferTooSmall;
    *outputCount = std::uint32_t(n);
    // The Info frame is final only now that every frame has been counted.
    std::vector<std::uint8_t> tag(2880);
    const std::size_t size = lame_get_lametag_frame(s->lame, tag.data(), tag.size());
    if (size > 0 && size <= tag.size()) {
        tag.resize(size);
        s->infoTag = std::move(tag);
    }
    return kSuccessful;
}

#ifndef LAMEENC_NO_CLOSE
LAMEENC_EXPORT std::uint32_t beCloseStream(std::uint32_t stream) {
    std::lock_guard<std::mutex> lock(table().mutex);
    auto it = table().live.find(stream);
    if (it == table().live.end()) return kInvalidHandle;
    // Kept even when empty: at the lowest bit rates the Info frame does not fit in a frame and
    // lame writes none, which beWriteInfoTag then has nothing to do for.
    auto& tags = table().tags;
    tags.emplace_back(stream, std::move(it->second->infoTag));
    while (tags.size() > 8) tags.pop_front();
    table().live.erase(it);
    return kSuccessful;
}
#endif

// Optional: after the stream is closed and the file complete, writes the Info frame over the
// first frame of `utf8FileName`, the placeholder the encoder left there.
LAMEENC_EXPORT std::uint32_t beWriteInfoTag(std::uint32_t stream, const char* utf8FileName) {
    std::vector<std::uint8_t> tag;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(table().mutex);
        auto& tags = table().tags;
        for (auto it = tags.begin(); it != tags.end(); ++it) {
            if (it->first == stream) {
                tag = std::move(it->second);
                tags.erase(it);
                known = true;
                break;
            }
        }
    }
    if (!known) return kInvalidHandle;
    if (!utf8FileName) return kInvalidFormatParameters;
    if (tag.empty()) return kSuccessful;
    const int fd = ::open(utf8FileName, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return kInvalidFormatParameters;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < tag.size()) {
        const ssize_t w = ::pwrite(fd, tag.data() + done, tag.size() - done, off_t(done));
        if (w > 0)
            done += std::size_t(w);
        else if (!(w < 0 && errno == EINTR))
            ok = false;
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    return ok ? kSuccessful : kInvalidFormat;
}

#ifndef LAMEENC_NO_VERSION
// Fills the first bytes of the caller's version record: this library 1.0, then lame's own
// major and minor version.
LAMEENC_EXPORT void beVersion(void* info) {
    if (!info) return;
    lame_version_t v{};
    get_lame_version_numerical(&v);
    auto* p = static_cast<std::uint8_t*>(info);
    p[0] = 1;
    p[1] = 0;
    p[2] = std::uint8_t(v.major);
    p[3] = std::uint8_t(v.minor);
}
#endif
