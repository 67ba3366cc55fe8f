#include "codec/TagReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/File.h"
#include "platform/Utf8.h"

namespace torvane {
namespace {

std::string latin1ToUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size() * 2);
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The first of `keys` the dictionary holds with a non-empty value (keys match without regard
// to case, as Vorbis comments and ASF names are written in any).
std::string firstOf(const AVDictionary* dict, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
        if (e && e->value && *e->value) return cleanTagText(e->value);
    }
    return {};
}

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

void fillText(SourceTags& tags, const AVDictionary* dict) {
    auto fill = [dict](std::string& field, std::initializer_list<const char*> keys) {
        if (field.empty()) field = firstOf(dict, keys);
    };
    fill(tags.title, {"title"});
    fill(tags.artist, {"artist", "author"});
    fill(tags.album, {"album"});
    fill(tags.year, {"date", "year", "WM/Year"});
    fill(tags.track, {"track"});
    fill(tags.genre, {"genre"});
    fill(tags.comment, {"comment", "description"});
}

const char* coverMimeOf(AVCodecID id) {
    if (id == AV_CODEC_ID_MJPEG) return "image/jpeg";
    if (id == AV_CODEC_ID_PNG) return "image/png";
    return nullptr;
}

// The front cover where the picture says what it is, else the first usable picture.
void fillCover(SourceTags& tags, const AVFormatContext& f) {
    const AVStream* chosen = nullptr;
    for (unsigned i = 0; i < f.nb_streams; ++i) {
        const AVStream* st = f.streams[i];
        if (!st || !st->codecpar || !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        const AVPacket& pic = st->attached_pic;
        if (!pic.data || pic.size <= 0 || std::size_t(pic.size) > kMaxCoverBytes) continue;
        if (!coverMimeOf(st->codecpar->codec_id)) continue;
        const AVDictionaryEntry* kind = av_dict_get(st->metadata, "comment", nullptr, 0);
        const bool front = kind && kind->value && std::strcmp(kind->value, "Cover (front)") == 0;
        if (!chosen || front) chosen = st;
        if (front) break;
    }
    if (!chosen) return;
    const AVPacket& pic = chosen->attached_pic;
    tags.coverMime = coverMimeOf(chosen->codecpar->codec_id);
    tags.cover = std::make_shared<const std::vector<unsigned char>>(pic.data, pic.data + pic.size);
}

}  // namespace

std::string cleanTagText(const std::string& text, std::size_t maxBytes) {
    const std::string utf8 = validUtf8(text) ? text : latin1ToUtf8(text);
    if (utf8.size() <= maxBytes) return utf8;
    std::size_t end = 0;
    while (end < utf8.size()) {
        const std::size_t n = utf8SequenceAt(utf8, end);
        if (end + n > maxBytes) break;
        end += n;
    }
    return utf8.substr(0, end);
}

namespace {

// A RIFF WAVE file made of nothing but its format, fact and data chunks, which fill it to the
// end: it has no tags, and no demuxer (nor the libraries behind one) is needed to say so.
bool waveWithoutTags(const std::string& path) {
    const File f = File::open(path, File::Mode::Read);
    unsigned char riff[12];
    if (!f.valid() || !f.readAt(0, riff, sizeof riff)) return false;
    auto le32 = [](const unsigned char* p) { return std::uint32_t(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24); };
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;
    const std::uint64_t end = std::uint64_t(le32(riff + 4)) + 8;
    if (f.readSomeAt(end, riff, 1) != 0) return false;  // bytes after the RIFF chunk
    for (std::uint64_t at = 12; at < end;) {
        unsigned char chunk[8];
        if (!f.readAt(at, chunk, sizeof chunk)) return false;
        if (std::memcmp(chunk, "fmt ", 4) != 0 && std::memcmp(chunk, "data", 4) != 0 && std::memcmp(chunk, "fact", 4) != 0)
            return false;
        at += 8 + std::uint64_t(le32(chunk + 4)) + (le32(chunk + 4) & 1);
        if (at > end + 1) return false;
    }
    return true;
}

}  // namespace

SourceTags readSourceTags(const std::string& path) {
    SourceTags tags;
    if (waveWithoutTags(path)) return tags;
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return tags;
    const std::unique_ptr<AVFormatContext, InputCloser> f(raw);
    // The container's own tags first; those a stream carries (Ogg's Vorbis comments) fill in.
    fillText(tags, f->metadata);
    for (unsigned i = 0; i < f->nb_streams; ++i) {
        const AVStream* st = f->streams[i];
        if (st && st->codecpar && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) fillText(tags, st->metadata);
    }
    fillCover(tags, *f);
    return tags;
}

}  // namespace torvane
