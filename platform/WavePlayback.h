#pragma once
// A playback stream on a PCM WAV file (8 or 16 bits, mono or stereo). Positions are byte
// offsets into the sample data and report what is being heard, not what has been handed
// to the device.
//
// Three parties touch a stream:
//  - the UI side (play, pause, positions, meters), one thread at a time (the Player's owner);
//  - the stream's reader thread, which converts the file ahead of playback into a ring of
//    float frames;
//  - the output's real-time callback (render), which only reads that ring, writes the
//    history the meters read, and never takes a lock, reads the file or allocates.
// A seek or a new play is a command (an epoch and a start frame) that the UI side only
// posts: the reader queues the new place's sound, and the callback takes the command up once
// that sound is there. Until then a seek while playing goes on with what was playing, and a
// play waits in silence; ring data of an older epoch is dropped unheard. The UI side never
// touches the file after open.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Expected.h"
#include "platform/Player.h"
#include "platform/WaveHeader.h"

namespace torvane {

class WavePlayback {
public:
    enum class State { Stopped, Playing, Paused };

    // `beforeRead` runs before every block read (tests of a slow or stuck disk).
    static Expected<std::unique_ptr<WavePlayback>, EngineError> open(const std::string& utf8Path,
                                                                      std::function<void()> beforeRead = {});
    ~WavePlayback();
    WavePlayback(const WavePlayback&) = delete;
    WavePlayback& operator=(const WavePlayback&) = delete;

    const WaveHeader& header() const { return m_header; }
    std::uint32_t length() const { return m_length; }
    std::uint64_t fileSize() const { return m_fileSize; }
    unsigned block() const { return m_header.blockSize; }

    // --- UI side (callers serialise these) ---
    State state() const { return m_state.load(); }
    // Playing streams that have run out (everything heard) become Stopped here.
    State refreshState(unsigned latencyFrames, unsigned outRate);

    void play(bool restart);
    // `settle` returns once no render call that could still see the stream playing is in
    // progress, so that the kept position is exactly what was heard.
    bool pause(unsigned latencyFrames, unsigned outRate, const std::function<void()>& settle);
    void stop(unsigned latencyFrames, unsigned outRate, const std::function<void()>& settle);
    bool setPosition(std::uint64_t pos);
    std::uint64_t position(unsigned latencyFrames, unsigned outRate) const;

    // The last `count` frames heard, as left/right values in -32768..32767 (8-bit samples
    // scaled up), oldest first; frames from before anything was played are silence.
    void recentFrames(unsigned latencyFrames, unsigned outRate, unsigned count,
                      std::vector<std::int32_t>& left, std::vector<std::int32_t>& right) const;

    // --- the output's callback ---
    // Adds `frames` stereo frames at `outRate` into `mix`. With `fillInline` (an output whose
    // clock only moves when a test says so) a short ring is topped up on this thread, which
    // keeps such runs deterministic; otherwise a short ring is played as silence and counted.
    // Returns true when the ring ran short before the end of the file.
    bool render(float* mix, unsigned frames, unsigned outRate, bool fillInline);

private:
    struct ChunkHead {
        std::uint32_t epoch = 0;
        std::uint64_t first = 0;  // source frame of the chunk's first frame
        std::uint32_t count = 0;
    };

    WavePlayback() = default;
    void startReader();
    void readerLoop();
    // Converts the file into the ring until `target` frames of the current command are
    // queued (or the file ends, or the ring is full). Returns the frames added.
    std::uint64_t fillAhead(std::uint64_t target);
    std::uint64_t fillLocked(std::uint64_t target);  // with m_fillMutex held
    // Reads `count` frames from `first` into the raw buffer; what cannot be read is silence.
    void readBlock(std::uint64_t first, std::size_t count);
    // `seamless`: playback carries on with what it was playing until the new place is queued.
    void issueCommand(std::uint64_t startFrame, bool seamless);
    void wakeReader();
    double currentSourceFrame() const;
    std::uint64_t heardPosition(unsigned latencyFrames, unsigned outRate) const;

    // Callback-side helpers.
    const float* frameAt(std::uint64_t k, bool remember);
    void consumeBefore(std::uint64_t k);
    void dropStale(std::uint32_t cmdEpoch);
    // True when the ring holds frame k of command `epoch`.
    bool queued(std::uint32_t epoch, std::uint64_t k) const;
    void takeUp(std::uint64_t cmd);

    int m_fd = -1;
    WaveHeader m_header;
    std::uint32_t m_length = 0;  // data bytes, whole frames only
    std::uint64_t m_fileSize = 0;

    // UI side.
    std::atomic<State> m_state{State::Stopped};
    std::uint64_t m_pos = 0;       // position while not playing
    std::uint64_t m_playFrom = 0;  // where this run of playback started (bytes)
    std::uint32_t m_epoch = 0;     // the latest command issued

    // The latest command: epoch in the high half, start frame in the low half.
    std::atomic<std::uint64_t> m_cmd{0};
    // A seek while playing: its epoch in the high half, the epoch it carries on from in the low.
    std::atomic<std::uint64_t> m_continue{0};
    std::function<void()> m_beforeRead;

    // The ring: chunks of kChunkFrames interleaved stereo floats at the source rate.
    std::vector<float> m_ring;
    std::vector<ChunkHead> m_heads;
    std::uint64_t m_chunks = 0;
    std::atomic<std::uint64_t> m_write{0};  // chunks published by the producer
    std::atomic<std::uint64_t> m_read{0};   // chunks released by the callback
    std::uint64_t m_target = 0;             // frames the reader keeps queued
    std::uint64_t m_readFrames = 0;         // frames per block read

    // Producer side (the reader thread, or play/seek priming the ring).
    std::mutex m_fillMutex;
    std::uint32_t m_fillEpoch = 0;
    std::uint64_t m_fillNext = 0;
    std::vector<std::uint8_t> m_raw;
    std::thread m_reader;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_quit = false;

    // Callback side, and what it publishes.
    std::uint32_t m_cbEpoch = 0;
    bool m_cbRunning = false;      // m_cbEpoch is being played in this run of playback
    double m_cbSrc = 0;            // next source frame to render (fractional when resampling)
    std::uint64_t m_histFrame = 0; // next source frame to enter the history
    std::uint64_t m_scan = 0;      // ring chunk where frame lookups start
    std::atomic<std::uint32_t> m_applied{0};
    std::atomic<double> m_srcPub{0.0};
    std::atomic<std::int64_t> m_histBase{0};  // history index of source frame 0 this epoch

    // What was played, one packed 16-bit left/right pair per source frame, in order.
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_hist;
    std::atomic<std::uint64_t> m_histCount{0};
};

}  // namespace torvane
