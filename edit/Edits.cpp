#include "edit/Edits.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "doc/WorkingFile.h"

namespace torvane {
namespace {

std::uint64_t startOffset(const DocumentState& doc) { return columnToByte(doc, doc.selection.startMarker); }
std::uint64_t finishOffset(const DocumentState& doc) { return columnToByte(doc, doc.selection.finishMarker); }

// Frames of the selection, in the unsigned 32-bit arithmetic of the markers.
std::uint32_t selectedFrames(const DocumentState& doc) {
    const auto fpc = std::uint32_t(doc.view.framesPerColumn);
    return doc.selection.finishMarker * fpc - doc.selection.startMarker * fpc;
}

// The selection's frames, overwritten in place.
FileChange rewriteOfSelection(const DocumentState& doc, std::uint64_t fileLength) {
    FileChange c;
    c.length = fileLength;
    c.rewritten = {startOffset(doc), std::uint64_t(selectedFrames(doc)) * doc.format.blockSize};
    return c;
}

inline std::int32_t get16(const unsigned char* p) { return std::int16_t(std::uint16_t(p[0] | (p[1] << 8))); }
inline void put16(unsigned char* p, std::int32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

// 16-bit samples of a block as machine words: on a little-endian machine the bytes are the
// words, so the kernels below run over them as arrays (vector code); elsewhere they are
// assembled one by one.
template <typename Kernel>
void eachWordRun(unsigned char* bytes, std::size_t samples, Kernel kernel) {
    std::int16_t words[4096];
    for (std::size_t done = 0; done < samples;) {
        const std::size_t n = std::min<std::size_t>(samples - done, 4096);
        unsigned char* p = bytes + done * 2;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(words, p, n * 2);
        } else {
            for (std::size_t i = 0; i < n; ++i) words[i] = std::int16_t(get16(p + 2 * i));
        }
        kernel(words, n);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(p, words, n * 2);
        } else {
            for (std::size_t i = 0; i < n; ++i) put16(p + 2 * i, words[i]);
        }
        done += n;
    }
}

// trunc(s * factor) clamped to -32767 .. 32767. Clamping the exact product before truncating
// gives the same value (the bounds are whole numbers), and keeps the loop in vector registers.
void scaleWords(std::int16_t* w, std::size_t n, float factor) {
    for (std::size_t i = 0; i < n; ++i) {
        float p = float(w[i]) * factor;
        p = p < -32767.0f ? -32767.0f : p;
        p = p > 32767.0f ? 32767.0f : p;
        w[i] = std::int16_t(std::int32_t(p));
    }
}

void scaleBytes(unsigned char* b, std::size_t n, float factor) {
    for (std::size_t i = 0; i < n; ++i) {
        float p = float(std::int32_t(b[i]) - 128) * factor;
        p = p < -128.0f ? -128.0f : p;
        p = p > 127.0f ? 127.0f : p;
        b[i] = static_cast<unsigned char>(std::int32_t(p) + 128);
    }
}

// (s * g) / 100, truncated toward zero, clamped; g is 0 .. 100, so only -32768 needs the clamp.
void gainWords(std::int16_t* w, std::size_t n, std::int32_t g) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t v = std::int32_t(w[i]) * g / 100;
        w[i] = std::int16_t(v < -32767 ? -32767 : v);
    }
}

void gainBytes(unsigned char* b, std::size_t n, std::int32_t g) {
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((std::int32_t(b[i]) - 128) * g / 100 + 128);
}

// Keeps the old bytes of a range of the working file in the undo file, block by block, on a
// thread of its own that runs ahead of the edit: a block's old bytes are the working file's until
// the edit has them kept. The new file data costs the machine more than the edit itself can, so it
// goes to the other core; when the edit catches up with a block the thread has not taken, the
// edit keeps that block itself from the bytes it has just read, and the two share the work.
class UndoKeeper {
public:
    UndoKeeper(const File& working, std::uint64_t at, File& undo, std::uint64_t keep, std::size_t step)
        : m_working(working), m_at(at), m_undo(undo), m_keep(keep), m_step(step),
          m_state(std::size_t((keep + step - 1) / step), State::Waiting) {
        if (m_state.size() < 2) return;
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had: the edit keeps every block itself.
        }
    }
    ~UndoKeeper() { stop(); }

    // Makes sure block `k` (the `n` bytes `old` at k * step) is in the undo file before the edit
    // writes over it. False when it could not be kept.
    bool keep(std::size_t k, const unsigned char* old, std::size_t n) {
        std::unique_lock lock(m_mutex);
        if (k >= m_state.size()) return false;
        if (m_state[k] == State::Waiting) {
            m_state[k] = State::Taken;
            lock.unlock();
            const bool ok = n == bytesOf(k) && m_undo.writeAt(std::uint64_t(k) * m_step, old, n);
            lock.lock();
            settle(k, ok);
            return ok;
        }
        m_changed.wait(lock, [&] { return m_state[k] == State::Kept || m_state[k] == State::Failed; });
        return m_state[k] == State::Kept && n == bytesOf(k);
    }

    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        if (m_thread.joinable()) m_thread.join();
    }

private:
    enum class State : unsigned char { Waiting, Taken, Kept, Failed };

    std::size_t bytesOf(std::size_t k) const {
        return std::size_t(std::min<std::uint64_t>(m_step, m_keep - std::uint64_t(k) * m_step));
    }

    void run() {
        std::unique_ptr<unsigned char[]> buffer;
        for (std::size_t k = 0; k < m_state.size(); ++k) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stopped || m_failed) return;
                if (m_state[k] != State::Waiting) continue;
                m_state[k] = State::Taken;
            }
            bool ok = false;
            try {
                ok = copy(k, buffer);
            } catch (const std::bad_alloc&) {
                // Kept as a failed write would be: the edit puts back what it has rewritten.
            }
            std::lock_guard lock(m_mutex);
            settle(k, ok);
        }
    }

    // Under the lock: block k is kept, or could not be.
    void settle(std::size_t k, bool ok) {
        m_state[k] = ok ? State::Kept : State::Failed;
        if (!ok) m_failed = true;
        m_changed.notify_all();
    }

    // Inside the kernel where it can (page to page, as cp), by hand where it cannot.
    bool copy(std::size_t k, std::unique_ptr<unsigned char[]>& buffer) {
        const std::uint64_t to = std::uint64_t(k) * m_step;
        const std::size_t n = bytesOf(k);
        const std::size_t done = std::size_t(copyInKernel(m_working, m_at + to, m_undo, to, n));
        if (done == n) return true;
        if (!buffer) buffer = std::make_unique_for_overwrite<unsigned char[]>(m_step);
        return m_working.readAt(m_at + to + done, buffer.get(), n - done) &&
               m_undo.writeAt(to + done, buffer.get(), n - done);
    }

    const File& m_working;
    const std::uint64_t m_at;
    File& m_undo;
    const std::uint64_t m_keep;
    const std::size_t m_step;
    std::vector<State> m_state;
    bool m_stopped = false;
    bool m_failed = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

}  // namespace


UndoPlan Edit::plan(const DocumentState& doc, std::uint64_t fileLength) const {
    UndoPlan plan;
    plan.length = fileLength;
    if (!changesFile()) return plan;
    const FileChange c = change(doc, fileLength);
    const std::uint64_t L = fileLength;
    // Every byte of the old file the change writes over or cuts off...
    std::vector<UndoPlan::Range> lost;
    const auto add = [&](std::uint64_t from, std::uint64_t to) {
        from = std::min(from, L);
        to = std::min(to, L);
        if (to > from) lost.push_back({from, to - from});
    };
    add(0, c.header);
    add(c.rewritten.at, c.rewritten.at + c.rewritten.size);
    if (c.cutFirst != FileChange::kNoCut) add(c.cutFirst, L);
    if (c.moves) {
        add(c.move.to, c.move.to + c.move.size);
        add(c.move.to + c.move.size, L);  // the file ends where the move ends
        if (c.move.size) plan.moves.push_back({c.move.to, c.move.from, c.move.size});
    }
    // Their union, in order...
    std::sort(lost.begin(), lost.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    std::vector<UndoPlan::Range> merged;
    for (const UndoPlan::Range& r : lost) {
        if (!merged.empty() && merged.back().at + merged.back().size >= r.at) {
            UndoPlan::Range& last = merged.back();
            last.size = std::max(last.at + last.size, r.at + r.size) - last.at;
        } else {
            merged.push_back(r);
        }
    }
    // ...but for those the move only carried away: undo carries them back.
    const std::uint64_t keptFrom = c.moves ? c.move.from : 0;
    const std::uint64_t keptTo = c.moves ? c.move.from + c.move.size : 0;
    const auto save = [&plan](std::uint64_t from, std::uint64_t to) {
        if (to > from) plan.saved.push_back({from, to - from});
    };
    for (const UndoPlan::Range& r : merged) {
        save(r.at, std::min(r.at + r.size, keptFrom));
        save(std::max(r.at, keptTo), r.at + r.size);
    }
    return plan;
}

Outcome Edit::apply(DocumentState& doc, Progress& progress, const MovedBytes& moved, const OnePass& pass) const {
    if (!changesFile()) return Outcome::done();
    File f = File::open(doc.workingFilePath, File::Mode::ReadWrite);
    const std::int64_t length = f.size();
    if (!f || length < 0) return Outcome::failed(MessageId::CannotOpenTempFile);
    const FileChange c = change(doc, std::uint64_t(length));
    if (c.cutFirst != FileChange::kNoCut && !f.truncate(c.cutFirst)) return Outcome::failed(MessageId::CannotWriteWorkingFile);
    CopyBar bar(progress, 0, (c.moves ? c.move.size : 0) + c.rewritten.size);
    if (c.moves) {
        // A read that fails ends the move as the end of the file would.
        const Copied m = copyBlocks(f, c.move.from, f, c.move.to, c.move.size, &bar, moved);
        if (m.end == CopyEnd::WriteFailed || !f.truncate(c.move.to + m.bytes) || !patchSizesAfterLengthChange(f, doc))
            return Outcome::failed(MessageId::CannotWriteWorkingFile);
    }
    const std::uint32_t block = doc.format.blockSize;
    if (c.rewritten.size && block) {
        // Block by block: read, keep the old bytes for undo, rewrite, write. The file ends the
        // pass as it would end a copy; the bytes undo keeps are those up to it, as in plan().
        const std::uint64_t at = c.rewritten.at;
        const std::uint64_t end = std::uint64_t(length);
        const std::uint64_t keep = std::min(c.rewritten.size, end > at ? end - at : 0);
        const std::size_t step = std::max<std::size_t>(block, pass.blockBytes / block * block);
        const std::size_t bufferSize = std::size_t(std::min<std::uint64_t>(step, c.rewritten.size));
        const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(bufferSize);
        std::uint64_t done = 0;
        bool keptAll = true;
        std::optional<UndoKeeper> keeper;
        if (pass.undo) keeper.emplace(f, at, *pass.undo, keep, step);
        while (done < c.rewritten.size) {
            const std::size_t want = std::size_t(std::min<std::uint64_t>(step, c.rewritten.size - done));
            const std::int64_t got = f.readSomeAt(at + done, buffer.get(), want);
            if (got <= 0) {
                keptAll = got == 0;
                break;
            }
            const std::size_t n = std::size_t(got);
            if (keeper) {
                if (!keeper->keep(std::size_t(done / step), buffer.get(), n)) {
                    keptAll = false;
                    break;
                }
                if (pass.kept) pass.kept(done + n);
            }
            rewrite(doc, buffer.get(), n / block, std::uint32_t(done / block));
            if (!f.writeAt(at + done, buffer.get(), n)) return Outcome::failed(MessageId::CannotWriteWorkingFile);
            if (pass.written) pass.written(buffer.get(), n, at + done);
            done += n;
            bar.add(n);
            if (n < want) break;
        }
        if (keeper) keeper->stop();
        if (pass.undo && (!keptAll || done != keep)) {
            // The edit cannot be undone: the blocks already rewritten get their old bytes back.
            const bool back = copyBlocks(*pass.undo, 0, f, at, done).done();
            return Outcome::failed(back ? MessageId::CannotWriteUndo : MessageId::CannotWriteWorkingFile);
        }
    }
    if (!f.close()) return Outcome::failed(MessageId::CannotWriteWorkingFile);
    return Outcome::done();
}

FileChange DeleteEdit::change(const DocumentState& doc, std::uint64_t fileLength) const {
    // What follows the selection, up to the end of the data, closes the gap; whatever followed
    // the data goes.
    FileChange c;
    c.length = fileLength;
    const std::uint64_t end = std::min<std::uint64_t>(std::uint32_t(doc.format.dataEnd), fileLength);
    const std::uint64_t from = std::min(finishOffset(doc), end);
    c.moves = true;
    c.move = {from, startOffset(doc), end - from};
    c.header = std::uint32_t(doc.format.dataOffset);
    return c;
}

FileChange CutOutEdit::change(const DocumentState& doc, std::uint64_t fileLength) const {
    // What follows the selection goes first; then the selection moves to the data's start.
    FileChange c;
    c.length = fileLength;
    const std::uint64_t start = startOffset(doc), finish = finishOffset(doc);
    c.cutFirst = finish;
    c.moves = true;
    c.move = {start, std::uint32_t(doc.format.dataOffset), finish > start ? finish - start : 0};
    c.header = std::uint32_t(doc.format.dataOffset);
    return c;
}

FileChange VolumeEdit::change(const DocumentState& doc, std::uint64_t fileLength) const {
    return rewriteOfSelection(doc, fileLength);
}

void VolumeEdit::rewrite(const DocumentState& doc, unsigned char* bytes, std::size_t frames, std::uint32_t) const {
    const bool eightBit = doc.format.bitsPerSample == 8;
    const std::size_t samples = frames * (doc.format.channels == 1 ? 1 : 2);
    if (m_mute) {
        if (eightBit) std::fill_n(bytes, samples, static_cast<unsigned char>(128));
        else std::fill_n(bytes, samples * 2, static_cast<unsigned char>(0));
        return;
    }
    // The product of a sample and any of the seven factors is exact in single precision;
    // the conversion truncates toward zero.
    const float factor = m_factor;
    if (eightBit) scaleBytes(bytes, samples, factor);
    else eachWordRun(bytes, samples, [factor](std::int16_t* w, std::size_t n) { scaleWords(w, n, factor); });
}

FileChange FadeEdit::change(const DocumentState& doc, std::uint64_t fileLength) const {
    return rewriteOfSelection(doc, fileLength);
}

void FadeEdit::rewrite(const DocumentState& doc, unsigned char* bytes, std::size_t frames, std::uint32_t first) const {
    const std::uint32_t stair = selectedFrames(doc) / 100;
    const bool eightBit = doc.format.bitsPerSample == 8;
    const std::uint32_t block = doc.format.blockSize;
    const std::uint32_t sampleBytes = eightBit ? 1 : 2;
    // The gain holds for a whole stair: rewrite run by run.
    for (std::size_t f = 0; f < frames;) {
        const std::uint32_t i = first + std::uint32_t(f);
        const std::uint32_t step = stair ? i / stair : 0;
        const std::int32_t g = m_in ? std::int32_t(step) : 100 - std::int32_t(step);
        const std::size_t runEnd =
            stair ? std::min<std::size_t>(frames, std::size_t((step + 1) * std::uint64_t(stair) - first)) : frames;
        const std::size_t samples = (runEnd - f) * block / sampleBytes;
        if (eightBit) gainBytes(bytes + f * block, samples, g);
        else eachWordRun(bytes + f * block, samples, [g](std::int16_t* w, std::size_t n) { gainWords(w, n, g); });
        f = runEnd;
    }
}

std::optional<std::vector<UndoPlan::Range>> keptRanges(const FileChange& c) {
    if (!c.moves || c.rewritten.size || c.move.to > c.move.from) return std::nullopt;
    // A cut past the end would lengthen the file; a move that starts past the end of what is
    // left would leave a hole.
    if (c.cutFirst != FileChange::kNoCut && c.cutFirst > c.length) return std::nullopt;
    const std::uint64_t end = std::min(c.cutFirst, c.length);
    if (c.move.to > end) return std::nullopt;
    // The move reads up to the end of what is left; the file then ends where the move ended.
    const std::uint64_t from = std::min(c.move.from, end);
    const std::uint64_t to = c.move.size > end - from ? end : from + c.move.size;
    std::vector<UndoPlan::Range> kept;
    if (c.move.to) kept.push_back({0, c.move.to});
    if (to > from) kept.push_back({from, to - from});
    return kept;
}

std::unique_ptr<Edit> makeEdit(EditKind kind, float factor) {
    switch (kind) {
    case EditKind::Delete: return std::make_unique<DeleteEdit>();
    case EditKind::CutOut: return std::make_unique<CutOutEdit>();
    case EditKind::Volume: return std::make_unique<VolumeEdit>(factor, false);
    case EditKind::Mute: return std::make_unique<VolumeEdit>(factor, true);
    case EditKind::FadeIn: return std::make_unique<FadeEdit>(true);
    case EditKind::FadeOut: return std::make_unique<FadeEdit>(false);
    }
    return nullptr;
}

float volumeFactor(int index) {
    static constexpr float kFactors[] = {2.5f, 2.0f, 1.5f, 1.0f, 0.75f, 0.5f};
    return index >= 0 && index < 6 ? kFactors[index] : 0.25f;
}

}  // namespace torvane
