#pragma once
// What the document was opened from, beyond the working file: the source's own format (the
// working file is always 8- or 16-bit PCM) and its tags, carried to every save unless the
// user asks to drop them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace torvane {

// Text tags as UTF-8, empty when absent; the front cover as the image file's bytes.
struct SourceTags {
    std::string title, artist, album, year, track, genre, comment;
    std::string coverMime;  // "image/jpeg", "image/png"; empty without a cover
    std::shared_ptr<const std::vector<unsigned char>> cover;

    bool hasCover() const { return cover && !cover->empty(); }
    bool hasText() const {
        return !(title.empty() && artist.empty() && album.empty() && year.empty() && track.empty() &&
                 genre.empty() && comment.empty());
    }
    bool empty() const { return !hasText() && !hasCover(); }
};

struct SourceInfo {
    std::string codec;       // the decoder's name: "pcm_s16le", "mp3", "flac", "vorbis" ...
    std::int32_t bits = 0;   // bits per sample of a PCM or lossless source; 0 for lossy ones
    std::int32_t rate = 0;   // the source's sample rate and channel count, before any mix-down
    std::int32_t channels = 0;
    SourceTags tags;
};

}  // namespace torvane
