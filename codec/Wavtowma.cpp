#include "codec/Wavtowma.h"

#include <array>
#include <utility>

#include "codec/TagWriter.h"
#include "platform/DynamicLibrary.h"

namespace torvane {

namespace {

constexpr int kChunkBytes = 16384;

// The writer object's operations, by their place in its table.
enum Slot { kRelease = 2, kSetInputFormat = 4, kSetOutputFormat = 5, kSetAttribute = 6, kWriteAudio = 7, kFinish = 8 };

using CreateWriter = std::int32_t (*)(const char16_t*, void**);
using ReleaseFn = std::uint32_t (*)(void*);
using SetInputFormatFn = std::int32_t (*)(void*, const void*);
using SetOutputFormatFn = std::int32_t (*)(void*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t);
using SetAttributeFn = std::int32_t (*)(void*, const char16_t*, const char16_t*);
using WriteAudioFn = std::int32_t (*)(void*, const std::uint8_t*, std::uint32_t);
using FinishFn = std::int32_t (*)(void*);

template <typename Fn>
Fn operation(void* writer, Slot slot) {
    void* const* table = *static_cast<void* const* const*>(writer);
    return reinterpret_cast<Fn>(table[slot]);
}

}  // namespace

std::string wmaLibraryFileName() {
#ifdef _WIN32
    return "wmaudsdk.dll";
#else
    return "wmaudsdk.so";
#endif
}

struct WmaFileEncoder::Impl {
    Outcome loaded;
    std::unique_ptr<DynamicLibrary> library;
    CreateWriter create = nullptr;
    void* writer = nullptr;

    void release() {
        operation<ReleaseFn>(writer, kRelease)(writer);
        writer = nullptr;
    }
};

WmaFileEncoder::WmaFileEncoder(const std::string& libraryPath) : m(std::make_unique<Impl>()) {
    m->library = DynamicLibrary::open(libraryPath);
    if (!m->library) {
        m->loaded = Outcome::failed(MessageId::WmaCannotLoad);
        return;
    }
    m->create = reinterpret_cast<CreateWriter>(m->library->symbol("WMAudioCreateWriter"));
    if (!m->create) m->loaded = Outcome::failed(MessageId::WmaMissingFunction, "WMAudioCreateWriter");
}

const Outcome& WmaFileEncoder::loaded() const { return m->loaded; }

int WmaFileEncoder::chunkBytes() const { return m->writer ? kChunkBytes : 0; }

WmaFileEncoder::~WmaFileEncoder() {
    if (m->writer) {
        operation<FinishFn>(m->writer, kFinish)(m->writer);
        m->release();
    }
    // The library goes with m, after the writer it made.
}

Outcome WmaFileEncoder::start(const std::string& fileName, std::uint32_t sampleRate, std::uint32_t channels,
                              std::uint32_t bitRate, const SourceTags& tags) {
    if (!m->create) return Outcome(m->loaded).encoderDidNotStart();
    if (m->writer) m->release();

    // WAVEFORMATEX, 18 bytes: 16-bit PCM as the document holds it.
    const std::uint16_t blockAlign = std::uint16_t(channels * 2);
    std::array<std::uint8_t, 18> format{};
    auto put16 = [&format](std::size_t at, std::uint16_t v) {
        format[at] = std::uint8_t(v);
        format[at + 1] = std::uint8_t(v >> 8);
    };
    auto put32 = [&format](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) format[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    };
    put16(0, 1);  // PCM
    put16(2, std::uint16_t(channels));
    put32(4, sampleRate);
    put32(8, sampleRate * blockAlign);
    put16(12, blockAlign);
    put16(14, 16);
    put16(16, 0);

    const std::u16string name = utf8ToUtf16(fileName);
    void* writer = nullptr;
    if (m->create(name.c_str(), &writer) < 0 || !writer) {
        return Outcome::failed(MessageId::WmaCannotCreateWriter).encoderDidNotStart();
    }
    m->writer = writer;
    if (operation<SetInputFormatFn>(writer, kSetInputFormat)(writer, format.data()) < 0) {
        m->release();
        return Outcome::failed(MessageId::WmaCannotSetInput).encoderDidNotStart();
    }
    // A tag the writer refuses is left out: the audio matters more than its labels.
    if (tags.hasText()) {
        const std::pair<const char16_t*, const std::string*> attributes[] = {
            {u"Title", &tags.title},        {u"Author", &tags.artist},        {u"WM/AlbumTitle", &tags.album},
            {u"WM/Year", &tags.year},       {u"WM/TrackNumber", &tags.track}, {u"WM/Genre", &tags.genre},
            {u"Description", &tags.comment}};
        for (const auto& [key, value] : attributes)
            if (!value->empty())
                operation<SetAttributeFn>(writer, kSetAttribute)(writer, key, utf8ToUtf16(*value).c_str());
    }
    if (operation<SetOutputFormatFn>(writer, kSetOutputFormat)(writer, bitRate, 44100, 2, 0) < 0) {
        m->release();
        return Outcome::failed(MessageId::WmaCannotSetOutput).encoderDidNotStart();
    }
    return Outcome::done();
}

Outcome WmaFileEncoder::write(const void* pcm, std::uint32_t byteCount) {
    if (byteCount == 0) return Outcome::done();
    if (!m->writer ||
        operation<WriteAudioFn>(m->writer, kWriteAudio)(m->writer, static_cast<const std::uint8_t*>(pcm), byteCount) < 0)
        return Outcome::failed(MessageId::SaveWriteFailed);
    return Outcome::done();
}

Outcome WmaFileEncoder::finish() {
    if (!m->writer) return Outcome::done();
    // A writer that could not finish stays, so the destructor tries once more before releasing it.
    if (operation<FinishFn>(m->writer, kFinish)(m->writer) < 0) return Outcome::failed(MessageId::SaveWriteFailed);
    m->release();
    return Outcome::done();
}

}  // namespace torvane
