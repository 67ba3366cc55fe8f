#pragma once
// Helpers shared by every test: temporary folders, RIFF/WAV files assembled in memory, random
// PCM, files on disk, the reference tools (sox, lame, ffmpeg) that make compressed inputs,
// and a Progress that records what it was told.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/Progress.h"

namespace torvane::test {

using Bytes = std::vector<std::uint8_t>;

// A folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "torvane-test-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        char* made = mkdtemp(buf.data());
        m_path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path() const { return m_path.string(); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};


inline void put16(Bytes& b, std::uint16_t v) {
    b.push_back(std::uint8_t(v & 0xFF));
    b.push_back(std::uint8_t(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t((v >> (8 * i)) & 0xFF));
}
inline void putId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) | (std::uint32_t(b[at + 2]) << 16) |
           (std::uint32_t(b[at + 3]) << 24);
}

// A RIFF/WAVE file assembled chunk by chunk; sizes are what the test says, not what fits.
class RiffBuilder {
public:
    RiffBuilder() {
        m_bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    }
    // A "fmt " chunk: 16 bytes of PCM fields plus `extra` bytes (its size is 16 + extra.size()).
    RiffBuilder& fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                     const Bytes& extra = {}) {
        Bytes p;
        const std::uint16_t block = std::uint16_t(channels * bits / 8);
        put16(p, tag);
        put16(p, channels);
        put32(p, rate);
        put32(p, rate * block);
        put16(p, block);
        put16(p, bits);
        p.insert(p.end(), extra.begin(), extra.end());
        return chunk("fmt ", p);
    }
    // A chunk with its true size; a pad byte follows an odd payload.
    RiffBuilder& chunk(const char* id, const Bytes& payload) {
        return chunkWithSize(id, std::uint32_t(payload.size()), payload, payload.size() & 1);
    }
    // A chunk whose size field says `size` whatever the payload holds.
    RiffBuilder& chunkWithSize(const char* id, std::uint32_t size, const Bytes& payload, bool pad = false) {
        m_bytes.insert(m_bytes.end(), id, id + 4);
        put32(m_bytes, size);
        m_bytes.insert(m_bytes.end(), payload.begin(), payload.end());
        if (pad) m_bytes.push_back(0);
        return *this;
    }
    RiffBuilder& data(const Bytes& samples) { return chunk("data", samples); }
    Bytes bytes() const {
        Bytes b = m_bytes;
        const std::uint32_t riff = std::uint32_t(b.size() - 8);
        for (int i = 0; i < 4; ++i) b[4 + i] = std::uint8_t((riff >> (8 * i)) & 0xFF);
        return b;
    }

private:
    Bytes m_bytes;
};

// A canonical 44-byte-header PCM file.
inline Bytes makeWav(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, const Bytes& samples) {
    return RiffBuilder().fmt(1, channels, rate, bits).data(samples).bytes();
}

inline Bytes randomBytes(std::size_t n, std::mt19937& rng) {
    Bytes b(n);
    std::uniform_int_distribution<int> d(0, 255);
    for (auto& x : b) x = std::uint8_t(d(rng));
    return b;
}

inline std::vector<std::uint8_t> samples16(const std::vector<std::int16_t>& s) {
    std::vector<std::uint8_t> b;
    b.reserve(s.size() * 2);
    for (std::int16_t v : s) put16(b, std::uint16_t(v));
    return b;
}

inline void writeFile(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Whether a save's temporary file ("~" + name + anything + ".tmp") is left beside `destination`.
inline bool saveTemporaryLeft(const std::string& destination) {
    const std::filesystem::path d(destination);
    const std::string prefix = "~" + d.filename().string();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(d.parent_path(), ec)) {
        const std::string n = e.path().filename().string();
        if (n.rfind(prefix, 0) == 0 && n.size() > 4 && n.compare(n.size() - 4, 4, ".tmp") == 0) return true;
    }
    return false;
}

// A shell command's standard output (its errors are dropped).
inline Bytes capture(const std::string& command) {
    Bytes out;
    std::FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return out;
    unsigned char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
    pclose(p);
    return out;
}

// The same as text, without its final line end.
inline std::string captureLine(const std::string& command) {
    const Bytes b = capture(command);
    std::string s(b.begin(), b.end());
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// Runs a shell command quietly; true when it exited 0.
inline bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}


// A sine tone made by sox: `seconds` long, at `rate` Hz with `channels` channels, 16-bit.
inline bool makeToneWav(const std::string& path, int rate, int channels, double seconds) {
    return run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + quote(path) +
               " synth " + std::to_string(seconds) + " sine 440 vol 0.5");
}
inline bool makeMp3(const std::string& wav, const std::string& mp3, int kbps = 128) {
    return run("lame --quiet -b " + std::to_string(kbps) + " " + quote(wav) + " " + quote(mp3));
}
inline bool makeWma(const std::string& wav, const std::string& wma, int kbps = 128) {
    return run("ffmpeg -nostdin -loglevel error -y -i " + quote(wav) + " -c:a wmav2 -b:a " + std::to_string(kbps) +
               "k " + quote(wma));
}

// Records every bar value; asks to cancel once cancelRequested() has been asked `cancelAfter`
// times (never when negative).
class RecordingProgress : public Progress {
public:
    explicit RecordingProgress(int cancelAfter = -1) : m_cancelAfter(cancelAfter) {}
    void setPercent(int bar, int percent) override { values.emplace_back(bar, percent); }
    bool cancelRequested() const override {
        ++m_asked;
        return m_cancelAfter >= 0 && m_asked > m_cancelAfter;
    }
    std::vector<int> bar(int which) const {
        std::vector<int> v;
        for (auto& [b, p] : values)
            if (b == which) v.push_back(p);
        return v;
    }
    std::vector<std::pair<int, int>> values;

private:
    int m_cancelAfter;
    mutable int m_asked = 0;
};

// A test signal made by sox: one sine per channel (440, 1250, 660 Hz, repeating), -3 dB.
inline bool makeSignalWav(const std::string& path, int rate, int channels, double seconds) {
    return run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + quote(path) +
               " synth " + std::to_string(seconds) + " sine 440 sine 1250 sine 660 gain -3");
}

}  // namespace torvane::test
