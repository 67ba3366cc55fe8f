#include "codec/TagWriter.h"

#include <cctype>

namespace torvane {
namespace {

void putBigEndian32(TagBytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void putLittleEndian32(TagBytes& out, std::uint32_t v) {
    for (int shift = 0; shift <= 24; shift += 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void putText(TagBytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

// A byte-order mark and the text in UTF-16LE; `terminated` adds the zero that ends a string
// followed by another.
void putUtf16(TagBytes& out, const std::string& s, bool terminated) {
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (const char16_t c : utf8ToUtf16(s)) {
        out.push_back(static_cast<unsigned char>(c));
        out.push_back(static_cast<unsigned char>(c >> 8));
    }
    if (terminated) out.insert(out.end(), {0, 0});
}

void putFrame(TagBytes& out, const char* id, const TagBytes& body) {
    putText(out, id);
    putBigEndian32(out, std::uint32_t(body.size()));
    out.insert(out.end(), {0, 0});  // no flags
    out.insert(out.end(), body.begin(), body.end());
}

void putTextFrame(TagBytes& out, const char* id, const std::string& text) {
    if (text.empty()) return;
    TagBytes body{1};  // UTF-16 with a byte-order mark
    putUtf16(body, text, false);
    putFrame(out, id, body);
}

// Version 2.3 wants four digits: a full date keeps its year.
std::string yearOf(const std::string& date) {
    if (date.size() > 4 && std::isdigit(static_cast<unsigned char>(date[0])) &&
        std::isdigit(static_cast<unsigned char>(date[1])) && std::isdigit(static_cast<unsigned char>(date[2])) &&
        std::isdigit(static_cast<unsigned char>(date[3])))
        return date.substr(0, 4);
    return date;
}

}  // namespace

std::u16string utf8ToUtf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp;
        std::size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (i + len > s.size()) {
            out += u'\uFFFD';
            break;
        }
        bool valid = true;
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!valid || cp > 0x10FFFF) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

TagBytes id3v2Tag(const SourceTags& tags) {
    if (tags.empty()) return {};
    TagBytes frames;
    putTextFrame(frames, "TIT2", tags.title);
    putTextFrame(frames, "TPE1", tags.artist);
    putTextFrame(frames, "TALB", tags.album);
    putTextFrame(frames, "TYER", yearOf(tags.year));
    putTextFrame(frames, "TRCK", tags.track);
    putTextFrame(frames, "TCON", tags.genre);
    if (!tags.comment.empty()) {
        TagBytes body{1, 'e', 'n', 'g'};
        putUtf16(body, "", true);  // no description
        putUtf16(body, tags.comment, false);
        putFrame(frames, "COMM", body);
    }
    if (tags.hasCover()) {
        TagBytes body{0};  // Latin-1: the MIME type and the empty description
        putText(body, tags.coverMime);
        body.insert(body.end(), {0, 3, 0});  // 3: the front cover
        body.insert(body.end(), tags.cover->begin(), tags.cover->end());
        putFrame(frames, "APIC", body);
    }
    // The size after the header, seven bits a byte (no false frame sync in it).
    if (frames.size() >= (std::size_t(1) << 28)) return {};  // more than a tag can say
    const std::uint32_t size = std::uint32_t(frames.size());
    TagBytes tag{'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<unsigned char>((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

TagBytes riffInfoChunk(const SourceTags& tags) {
    if (!tags.hasText()) return {};
    TagBytes items;
    auto put = [&items](const char* id, const std::string& text) {
        if (text.empty()) return;
        putText(items, id);
        putLittleEndian32(items, std::uint32_t(text.size() + 1));
        putText(items, text);
        items.push_back(0);
        if (items.size() & 1) items.push_back(0);
    };
    put("INAM", tags.title);
    put("IART", tags.artist);
    put("IPRD", tags.album);
    put("ICRD", tags.year);
    put("ITRK", tags.track);
    put("IGNR", tags.genre);
    put("ICMT", tags.comment);
    TagBytes chunk{'L', 'I', 'S', 'T'};
    putLittleEndian32(chunk, std::uint32_t(4 + items.size()));
    putText(chunk, "INFO");
    chunk.insert(chunk.end(), items.begin(), items.end());
    return chunk;
}

bool insertAtStart(File& file, const TagBytes& bytes) {
    if (bytes.empty()) return true;
    const std::int64_t size = file.size();
    if (size < 0 || !file.reserve(std::uint64_t(size) + bytes.size())) return false;
    if (!copyBlocks(file, 0, file, bytes.size(), std::uint64_t(size)).done()) return false;
    return file.writeAt(0, bytes.data(), bytes.size());
}

}  // namespace torvane
