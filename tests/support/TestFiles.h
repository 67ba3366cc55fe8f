#pragma once
// Helpers shared by tests: temporary folders, WAV files made in memory, and running the
// reference command-line tools (sox, lame, ffmpeg) that make compressed inputs.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace torvane::test {

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

inline void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}
inline void putId(std::vector<std::uint8_t>& b, const char* id) { b.insert(b.end(), id, id + 4); }

// A canonical 44-byte-header PCM WAV holding `data` (already in file byte order).
inline std::vector<std::uint8_t> makeWav(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                                         const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> b;
    const std::uint16_t block = std::uint16_t(channels * bits / 8);
    putId(b, "RIFF");
    put32(b, std::uint32_t(36 + data.size()));
    putId(b, "WAVE");
    putId(b, "fmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * block);
    put16(b, block);
    put16(b, bits);
    putId(b, "data");
    put32(b, std::uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline std::vector<std::uint8_t> samples16(const std::vector<std::int16_t>& s) {
    std::vector<std::uint8_t> b;
    b.reserve(s.size() * 2);
    for (std::int16_t v : s) put16(b, std::uint16_t(v));
    return b;
}

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Runs a shell command quietly; true when it exited 0.
inline bool run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

// A test signal made by sox: one sine per channel (440, 1250, 660 Hz, repeating), -3 dB.
inline bool makeSignalWav(const std::string& path, int rate, int channels, double seconds) {
    return run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " + quote(path) +
               " synth " + std::to_string(seconds) + " sine 440 sine 1250 sine 660 gain -3");
}

}  // namespace torvane::test
