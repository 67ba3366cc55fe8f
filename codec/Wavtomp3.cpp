#include "codec/Wavtomp3.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/DynamicLibrary.h"

namespace torvane {

namespace {

// The library's configuration record: 331 bytes, packed, little-endian.
constexpr std::size_t kRecordSize = 331;

using InitStream = std::uint32_t (*)(const void*, std::uint32_t*, std::uint32_t*, std::uint32_t*);
using EncodeChunkFn = std::uint32_t (*)(std::uint32_t, std::uint32_t, const std::int16_t*, std::uint8_t*,
                                        std::uint32_t*);
using Version = void (*)(void*);
using DeinitStream = std::uint32_t (*)(std::uint32_t, std::uint8_t*, std::uint32_t*);
using CloseStream = std::uint32_t (*)(std::uint32_t);
using WriteInfoTag = std::uint32_t (*)(std::uint32_t, const char*);

void put32(std::array<std::uint8_t, kRecordSize>& r, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) r[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

}  // namespace

std::string lameLibraryFileName() {
#ifdef _WIN32
    return "lame_enc.dll";
#else
    return "lame_enc.so";
#endif
}

std::uint32_t snapMp3BitRate(std::uint32_t requested) {
    struct Step {
        std::uint32_t upTo, rate;
    };
    static const Step kSteps[] = {{36, 32},   {44, 40},   {52, 48},   {60, 56},   {67, 64},   {88, 80},  {104, 96},
                                  {120, 112}, {144, 128}, {176, 160}, {208, 192}, {240, 224}, {288, 256}};
    for (const Step& s : kSteps)
        if (requested <= s.upTo) return s.rate;
    return 320;
}

struct Mp3FileEncoder::Impl {
    Outcome loaded;
    std::unique_ptr<DynamicLibrary> library;
    InitStream initStream = nullptr;
    EncodeChunkFn encodeChunk = nullptr;
    Version version = nullptr;
    DeinitStream deinitStream = nullptr;
    CloseStream closeStream = nullptr;
    bool usable = false;

    bool streaming = false;
    std::uint32_t stream = 0;
    std::FILE* file = nullptr;
    std::string fileName;
    std::vector<std::uint8_t> output;
    bool writeFailed = false;
    int writeError = 0;
    int chunkBytes = 0;

    bool write(const std::uint8_t* data, std::uint32_t count) {
        if (count == 0) return true;
        if (std::fwrite(data, 1, count, file) != count && !writeFailed) {
            writeFailed = true;
            writeError = errno;
        }
        return !writeFailed;
    }
    // Ends a stream the caller did not finish, without keeping what it produced.
    void abandon() {
        if (streaming) {
            std::uint32_t n = 0;
            if (!output.empty()) deinitStream(stream, output.data(), &n);
            closeStream(stream);
            streaming = false;
        }
        if (file) {
            std::fclose(file);
            file = nullptr;
        }
        output.clear();
    }
};

Mp3FileEncoder::Mp3FileEncoder(const std::string& libraryPath) : m(std::make_unique<Impl>()) {
    m->library = DynamicLibrary::open(libraryPath);
    if (!m->library) {
        m->loaded = Outcome::failed(MessageId::LameCannotLoad);
        return;
    }
    // In this order; the first one missing is the one named.
    struct Entry {
        const char* name;
        void** slot;
    };
    const Entry entries[] = {{"beInitStream", reinterpret_cast<void**>(&m->initStream)},
                             {"beEncodeChunk", reinterpret_cast<void**>(&m->encodeChunk)},
                             {"beVersion", reinterpret_cast<void**>(&m->version)},
                             {"beDeinitStream", reinterpret_cast<void**>(&m->deinitStream)},
                             {"beCloseStream", reinterpret_cast<void**>(&m->closeStream)}};
    for (const Entry& e : entries) {
        *e.slot = m->library->symbol(e.name);
        if (!*e.slot) {
            m->loaded = Outcome::failed(MessageId::LameMissingFunction, e.name);
            return;
        }
    }
    m->usable = true;
}

Mp3FileEncoder::~Mp3FileEncoder() { m->abandon(); }

const Outcome& Mp3FileEncoder::loaded() const { return m->loaded; }

int Mp3FileEncoder::chunkBytes() const { return m->chunkBytes; }

Outcome Mp3FileEncoder::start(const std::string& fileName, std::uint32_t sampleRate, int mode, std::uint32_t bitRate,
                              bool copyright, bool crc, bool original, bool privateBit) {
    m->chunkBytes = 0;
    if (!m->usable) return Outcome(m->loaded).encoderDidNotStart();
    m->abandon();

    std::array<std::uint8_t, kRecordSize> record{};
    put32(record, 0, 0);  // configuration kind: the MP3 record
    put32(record, 4, sampleRate);
    record[8] = std::uint8_t(mode - 1);
    const std::uint32_t kbps = snapMp3BitRate(bitRate);
    record[9] = std::uint8_t(kbps & 0xFF);
    record[10] = std::uint8_t(kbps >> 8);
    put32(record, 11, privateBit ? 1 : 0);
    put32(record, 15, crc ? 1 : 0);
    put32(record, 19, copyright ? 1 : 0);
    put32(record, 23, original ? 1 : 0);

    std::uint32_t samples = 0, outputSize = 0, stream = 0;
    if (m->initStream(record.data(), &samples, &outputSize, &stream) != 0) {
        return Outcome::failed(MessageId::LameCannotInit).encoderDidNotStart();
    }
    m->stream = stream;
    m->streaming = true;

    m->file = std::fopen(fileName.c_str(), "wb");
    if (!m->file) {
        const int e = errno;
        m->abandon();
        return Outcome::failed(MessageId::LameCannotCreateFile).because(e).encoderDidNotStart();
    }
    m->fileName = fileName;
    m->writeFailed = false;
    m->writeError = 0;
    m->output.assign(outputSize, 0);
    m->chunkBytes = int(samples * 2);
    return Outcome::done();
}

Outcome Mp3FileEncoder::write(const void* pcm, std::uint32_t byteCount) {
    if (!m->streaming || !m->file) return Outcome::failed(MessageId::LameCompressionFailed);
    std::uint32_t count = 0;
    if (m->encodeChunk(m->stream, byteCount / 2, static_cast<const std::int16_t*>(pcm), m->output.data(),
                       &count) != 0)
        return Outcome::failed(MessageId::LameCompressionFailed);
    // A write that failed is told by finish: the library's own words have none for it.
    m->write(m->output.data(), count);
    return Outcome::done();
}

Outcome Mp3FileEncoder::finish() {
    if (!m->streaming || !m->file) return Outcome::failed(MessageId::SaveWriteFailed);
    bool ok = true;
    std::uint32_t count = 0;
    if (m->deinitStream(m->stream, m->output.data(), &count) == 0)
        m->write(m->output.data(), count);
    else
        ok = false;
    m->closeStream(m->stream);
    m->streaming = false;
    m->output.clear();
    m->output.shrink_to_fit();

    // A full disk shows up at any of these: a write, the flush of the buffer, the sync or the close.
    int error = m->writeError;
    auto check = [&](bool good) {
        if (!good && ok) error = errno;
        if (!good) ok = false;
    };
    check(!m->writeFailed);
    check(std::fflush(m->file) == 0);
#ifdef _WIN32
    check(_commit(_fileno(m->file)) == 0);
#else
    check(::fsync(fileno(m->file)) == 0);
#endif
    check(std::fclose(m->file) == 0);
    m->file = nullptr;

    // The Info frame at the start (exact length, encoder delay) can only be written once the
    // file is complete; libraries without it leave the placeholder frame, which plays as silence.
    if (ok) {
        if (auto writeTag = reinterpret_cast<WriteInfoTag>(m->library->symbol("beWriteInfoTag")))
            if (writeTag(m->stream, m->fileName.c_str()) != 0) ok = false;
    }
    return ok ? Outcome::done() : Outcome::failed(MessageId::SaveWriteFailed).because(error);
}

}  // namespace torvane
