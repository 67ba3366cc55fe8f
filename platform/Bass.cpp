#include "platform/Bass.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/AudioOutput.h"
#include "platform/FfmpegDecoder.h"
#include "platform/WavePlayback.h"

namespace torvane {
namespace {

constexpr unsigned kFftSize = 1024;
constexpr std::size_t kMaxPlaybacks = 256;

thread_local int t_error = BASS_OK;

BOOL fail(int code) {
    t_error = code;
    return 0;
}

struct Channel {
    std::unique_ptr<FfmpegDecoder> decoder;   // decode-only streams
    std::shared_ptr<WavePlayback> playback;   // playback streams
};

class Engine {
public:
    // Guards the members below up to the FFT buffers. Only API callers take it: the
    // output's render never does, so nothing done under it can hold up the sound.
    std::mutex mutex;
    bool initialised = false;
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<AudioOutput> nextOutput;  // handed in by tests
    std::map<DWORD, std::shared_ptr<Channel>> channels;
    DWORD nextHandle = 0x10000;

    // The playback streams as the render sees them. A slot is cleared, and then every
    // render that could have seen it allowed to finish, before its stream is freed.
    std::array<std::atomic<WavePlayback*>, kMaxPlaybacks> live{};
    std::atomic<std::uint64_t> renderSeq{0};  // odd while a render is in progress
    std::atomic<std::uint64_t> underruns{0};
    std::function<void(const float*, unsigned)> renderTap;  // tests; set while no output runs
    std::function<void()> meterHook;                        // tests; under `mutex`

    // FFT plan and buffers; FFTW's planner is not thread-safe, so plans are made once.
    float* fftIn = nullptr;
    fftwf_complex* fftOut = nullptr;
    fftwf_plan fftPlan = nullptr;
    std::vector<float> window;

    std::shared_ptr<Channel> find(DWORD h) {
        auto it = channels.find(h);
        return it == channels.end() ? nullptr : it->second;
    }

    unsigned outRate() const { return output ? output->rate() : 44100; }
    unsigned latency() const { return output ? output->latencyFrames() : 0; }

    // The output's real-time callback: no lock, no file access, no allocation.
    void render(float* out, unsigned frames, unsigned rate, bool fillInline) {
        renderSeq.fetch_add(1);
        std::memset(out, 0, sizeof(float) * 2 * frames);
        for (auto& slot : live)
            if (WavePlayback* pb = slot.load())
                if (pb->render(out, frames, rate, fillInline)) underruns.fetch_add(1, std::memory_order_relaxed);
        for (unsigned i = 0; i < 2 * frames; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
        if (renderTap) renderTap(out, frames);
        renderSeq.fetch_add(1);
    }

    // Returns once no render that began before the call is still running.
    void settle() {
        const std::uint64_t s = renderSeq.load();
        if (!(s & 1)) return;
        while (renderSeq.load() == s) std::this_thread::yield();
    }

    bool goLive(WavePlayback* pb) {
        for (auto& slot : live) {
            WavePlayback* expected = nullptr;
            if (slot.compare_exchange_strong(expected, pb)) return true;
        }
        return false;
    }

    void leaveLive(WavePlayback* pb) {
        for (auto& slot : live) {
            WavePlayback* expected = pb;
            slot.compare_exchange_strong(expected, nullptr);
        }
        settle();
    }

    void ensureFft() {
        if (fftPlan) return;
        fftIn = fftwf_alloc_real(kFftSize);
        fftOut = fftwf_alloc_complex(kFftSize / 2 + 1);
        fftPlan = fftwf_plan_dft_r2c_1d(int(kFftSize), fftIn, fftOut, FFTW_ESTIMATE);
        window.resize(kFftSize);
        for (unsigned n = 0; n < kFftSize; ++n)
            window[n] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kFftSize));
    }
};

Engine& engine() {
    static Engine e;
    return e;
}

HSTREAM addChannel(std::shared_ptr<Channel> ch) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    if (ch->playback && !e.goLive(ch->playback.get())) return fail(BASS_ERROR_MEM);
    DWORD h = e.nextHandle++;
    if (e.nextHandle == 0) e.nextHandle = 0x10000;
    e.channels[h] = std::move(ch);
    t_error = BASS_OK;
    return h;
}

HSTREAM createDecoder(BOOL mem, const char* file, DWORD flags, FfmpegDecoder::Container kind) {
    if (mem || !file) return fail(BASS_ERROR_ILLPARAM);
    if (!(flags & BASS_STREAM_DECODE)) return fail(BASS_ERROR_ILLPARAM);
    auto dec = FfmpegDecoder::open(file, kind);
    if (!dec) return fail(BASS_ERROR_FILEFORM);
    auto ch = std::make_shared<Channel>();
    ch->decoder = std::move(dec);
    return addChannel(std::move(ch));
}

}  // namespace

void engineUseOutputForNextInit(std::unique_ptr<AudioOutput> output) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.nextOutput = std::move(output);
}

std::uint64_t engineUnderrunCount() { return engine().underruns.load(); }

void engineSetReadDelayForTests(std::chrono::milliseconds delay) { WavePlayback::setReadDelay(delay); }

void engineSetRenderTapForTests(std::function<void(const float*, unsigned)> tap) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.renderTap = std::move(tap);
}

void engineSetMeterHookForTests(std::function<void()> hook) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.meterHook = std::move(hook);
}

DWORD BASS_GetVersion() { return BASS_VERSION; }

int BASS_ErrorGetCode() { return t_error; }

BOOL BASS_Init(int device, DWORD freq, DWORD, void*, void*) {
    Engine& e = engine();
    std::unique_ptr<AudioOutput> out;
    {
        std::lock_guard<std::mutex> lock(e.mutex);
        if (e.initialised) return fail(BASS_ERROR_ALREADY);
        if (device < -1 || device > 1) return fail(BASS_ERROR_DEVICE);
        out = std::move(e.nextOutput);
    }
    if (freq == 0) freq = 44100;
    const char* forced = std::getenv("TORVANE_AUDIO");
    const bool wantNull = device == 0 || (forced && std::strcmp(forced, "null") == 0);
    if (!out && !wantNull) out = makePortAudioOutput();
    auto renderFor = [&e](AudioOutput* o) {
        const bool fillInline = !o->realTime();
        return [&e, o, fillInline](float* buf, unsigned frames) { e.render(buf, frames, o->rate(), fillInline); };
    };
    if (out && !out->start(freq, renderFor(out.get()))) out.reset();
    if (!out) {
        // No usable sound device: keep time without sound so the editor works all the same.
        out = makeNullOutput();
        out->start(freq, renderFor(out.get()));
    }
    std::lock_guard<std::mutex> lock(e.mutex);
    e.output = std::move(out);
    e.ensureFft();
    e.initialised = true;
    t_error = BASS_OK;
    return 1;
}

BOOL BASS_Free() {
    Engine& e = engine();
    std::unique_ptr<AudioOutput> out;
    {
        std::lock_guard<std::mutex> lock(e.mutex);
        if (!e.initialised) return fail(BASS_ERROR_INIT);
        out = std::move(e.output);
        e.initialised = false;
    }
    // Outside the lock, so that stopping can never wait on it.
    if (out) out->stop();
    out.reset();
    std::lock_guard<std::mutex> lock(e.mutex);
    for (auto& slot : e.live) slot.store(nullptr);
    e.channels.clear();
    t_error = BASS_OK;
    return 1;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const char* file, QWORD, QWORD, DWORD flags) {
    if (flags & BASS_STREAM_DECODE) return createDecoder(mem, file, flags, FfmpegDecoder::Container::MpegOrWave);
    if (mem || !file) return fail(BASS_ERROR_ILLPARAM);
    {
        std::lock_guard<std::mutex> lock(engine().mutex);
        if (!engine().initialised) return fail(BASS_ERROR_INIT);
    }
    auto pb = WavePlayback::open(file);
    if (!pb) return fail(BASS_ERROR_FILEFORM);
    auto ch = std::make_shared<Channel>();
    ch->playback = std::move(pb);
    return addChannel(std::move(ch));
}

HSTREAM BASS_WMA_StreamCreateFile(BOOL mem, const char* file, QWORD, QWORD, DWORD flags) {
    return createDecoder(mem, file, flags | BASS_STREAM_DECODE, FfmpegDecoder::Container::Asf);
}

BOOL BASS_StreamFree(HSTREAM handle) {
    Engine& e = engine();
    std::shared_ptr<Channel> ch;
    {
        std::lock_guard<std::mutex> lock(e.mutex);
        auto it = e.channels.find(handle);
        if (it == e.channels.end()) return fail(BASS_ERROR_HANDLE);
        ch = std::move(it->second);
        e.channels.erase(it);
        if (ch->playback) e.leaveLive(ch->playback.get());
    }
    ch.reset();  // closes the file now, so that it can be rewritten
    t_error = BASS_OK;
    return 1;
}

QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE), QWORD(-1);
    t_error = BASS_OK;
    if (ch->decoder) {
        if (mode == BASS_FILEPOS_END) return ch->decoder->fileSize();
        return 0;
    }
    if (mode == BASS_FILEPOS_END) return ch->playback->fileSize();
    return ch->playback->header().dataOffset + ch->playback->position(e.latency(), e.outRate());
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE);
    if (!info) return fail(BASS_ERROR_ILLPARAM);
    *info = BASS_CHANNELINFO{};
    if (ch->decoder) {
        info->freq = ch->decoder->rate();
        info->chans = ch->decoder->channels();
        info->flags = BASS_STREAM_DECODE;  // always 16-bit output
    } else {
        const WaveHeader& h = ch->playback->header();
        info->freq = DWORD(h.sampleRate);
        info->chans = DWORD(h.channels);
        info->flags = h.bitsPerSample == 8 ? BASS_SAMPLE_8BITS : 0;
        info->origres = DWORD(h.bitsPerSample);
    }
    t_error = BASS_OK;
    return 1;
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE), QWORD(-1);
    if (mode != BASS_POS_BYTE) return fail(BASS_ERROR_NOTAVAIL), QWORD(-1);
    t_error = BASS_OK;
    return ch->decoder ? ch->decoder->expectedBytes() : ch->playback->length();
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE), QWORD(-1);
    if (mode != BASS_POS_BYTE) return fail(BASS_ERROR_NOTAVAIL), QWORD(-1);
    t_error = BASS_OK;
    if (ch->decoder) return ch->decoder->delivered();
    ch->playback->refreshState(e.latency(), e.outRate());
    return ch->playback->position(e.latency(), e.outRate());
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE);
    if (mode != BASS_POS_BYTE || ch->decoder) return fail(BASS_ERROR_NOTAVAIL);
    if (!ch->playback->setPosition(pos)) return fail(BASS_ERROR_POSITION);
    t_error = BASS_OK;
    return 1;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE), -1.0;
    double bytesPerSecond;
    if (ch->decoder)
        bytesPerSecond = double(ch->decoder->rate()) * ch->decoder->channels() * 2;
    else
        bytesPerSecond = double(ch->playback->header().sampleRate) * ch->playback->block();
    t_error = BASS_OK;
    return bytesPerSecond > 0 ? double(pos) / bytesPerSecond : 0.0;
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    Engine& e = engine();
    std::shared_ptr<Channel> ch;
    {
        std::lock_guard<std::mutex> lock(e.mutex);
        ch = e.find(handle);
    }
    if (!ch || !buffer) return fail(ch ? BASS_ERROR_ILLPARAM : BASS_ERROR_HANDLE), BASS_DATA_ERROR;
    if (ch->decoder) {
        // A decoder is read by one caller at a time and never by the output, so it is
        // decoded without holding the engine's lock.
        if (length & 0x80000000u) return fail(BASS_ERROR_NOTAVAIL), BASS_DATA_ERROR;
        t_error = BASS_OK;
        return ch->decoder->read(buffer, length);
    }
    if (length != BASS_DATA_FFT1024) return fail(BASS_ERROR_NOTAVAIL), BASS_DATA_ERROR;

    std::vector<std::int32_t> left, right;
    std::lock_guard<std::mutex> lock(e.mutex);
    WavePlayback& pb = *ch->playback;
    auto* out = static_cast<float*>(buffer);
    if (pb.refreshState(e.latency(), e.outRate()) == WavePlayback::State::Stopped) {
        std::memset(out, 0, sizeof(float) * kFftSize / 2);
        return fail(BASS_ERROR_NOPLAY), BASS_DATA_ERROR;
    }
    e.ensureFft();
    if (e.meterHook) e.meterHook();
    // What was played, from memory: the file is the reader's alone.
    pb.recentFrames(e.latency(), e.outRate(), kFftSize, left, right);
    for (unsigned n = 0; n < kFftSize; ++n)
        e.fftIn[n] = e.window[n] * float(left[n] + right[n]) / 65536.0f;
    fftwf_execute(e.fftPlan);
    // A full-scale sine centred on a bin reads 1.0: the Hann window's gain is N/4.
    const float scale = 4.0f / kFftSize;
    for (unsigned k = 0; k < kFftSize / 2; ++k)
        out[k] = std::hypot(e.fftOut[k][0], e.fftOut[k][1]) * scale;
    t_error = BASS_OK;
    return kFftSize / 2 * sizeof(float);
}

DWORD BASS_ChannelGetLevel(DWORD handle) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE), BASS_DATA_ERROR;
    if (ch->decoder) return fail(BASS_ERROR_NOTAVAIL), BASS_DATA_ERROR;
    WavePlayback& pb = *ch->playback;
    t_error = BASS_OK;
    if (pb.refreshState(e.latency(), e.outRate()) != WavePlayback::State::Playing) return 0;
    // Peak of the last 20 ms heard.
    const unsigned count = std::max(1, pb.header().sampleRate / 50);
    if (e.meterHook) e.meterHook();
    std::vector<std::int32_t> left, right;
    pb.recentFrames(e.latency(), e.outRate(), count, left, right);
    DWORD l = 0, r = 0;
    for (unsigned i = 0; i < count; ++i) {
        l = std::max<DWORD>(l, DWORD(std::abs(left[i])));
        r = std::max<DWORD>(r, DWORD(std::abs(right[i])));
    }
    return std::min<DWORD>(l, 32768) | (std::min<DWORD>(r, 32768) << 16);
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE), BASS_ACTIVE_STOPPED;
    t_error = BASS_OK;
    if (ch->decoder) return ch->decoder->active() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    switch (ch->playback->refreshState(e.latency(), e.outRate())) {
    case WavePlayback::State::Playing: return BASS_ACTIVE_PLAYING;
    case WavePlayback::State::Paused: return BASS_ACTIVE_PAUSED;
    default: return BASS_ACTIVE_STOPPED;
    }
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    Engine& e = engine();
    unsigned wanted = 0;
    AudioOutput* out = nullptr;
    {
        std::lock_guard<std::mutex> lock(e.mutex);
        auto ch = e.find(handle);
        if (!ch) return fail(BASS_ERROR_HANDLE);
        if (ch->decoder) return fail(BASS_ERROR_NOTAVAIL);
        if (!e.initialised) return fail(BASS_ERROR_INIT);
        wanted = unsigned(ch->playback->header().sampleRate);
        out = e.output.get();
    }
    // Run the device at the file's own rate where it can; otherwise the stream resamples.
    if (out && out->rate() != wanted) out->setRate(wanted);
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE);
    ch->playback->play(restart != 0);
    t_error = BASS_OK;
    return 1;
}

BOOL BASS_ChannelPause(DWORD handle) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE);
    if (ch->decoder) return fail(BASS_ERROR_NOTAVAIL);
    ch->playback->refreshState(e.latency(), e.outRate());
    if (!ch->playback->pause(e.latency(), e.outRate(), [&e] { e.settle(); })) return fail(BASS_ERROR_NOPLAY);
    t_error = BASS_OK;
    return 1;
}

BOOL BASS_ChannelStop(DWORD handle) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mutex);
    auto ch = e.find(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE);
    if (ch->decoder) return fail(BASS_ERROR_NOTAVAIL);
    ch->playback->stop(e.latency(), e.outRate(), [&e] { e.settle(); });
    t_error = BASS_OK;
    return 1;
}

}  // namespace torvane
