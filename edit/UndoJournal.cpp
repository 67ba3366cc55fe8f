#include "edit/UndoJournal.h"

#include <cstdint>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <filesystem>
#include <vector>

#include "edit/Edits.h"
#include "platform/File.h"
#include "platform/FileIo.h"

namespace torvane {

UndoJournal::~UndoJournal() { clear(); }

std::uint64_t UndoJournal::limit() const {
    if (m_limit) return m_limit;
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(std::filesystem::u8path(m_folder), ec);
    if (ec) return kDefaultUndoLimit;
    return std::min(kDefaultUndoLimit, std::uint64_t(space.available / 2));
}

bool UndoJournal::limitedBySpace() const { return m_limit == 0 && limit() < kDefaultUndoLimit; }

bool UndoJournal::makeRoom(std::uint64_t incoming) {
    while (canRedo()) dropBack();
    const std::uint64_t cap = limit();
    if (incoming > cap) return false;
    while (!m_steps.empty() && m_bytes + incoming > cap) dropFront();
    return true;
}

Outcome UndoJournal::record(UndoStep step, const std::string& workingFile, Progress& progress) {
    step.file = m_folder + "Undo" + std::to_string(++m_serial) + ".bin";
    const std::uint64_t total = step.plan.savedBytes();
    bool ok = true;
    {
        File from = File::open(workingFile, File::Mode::Read);
        if (!from) return Outcome::failed(MessageId::CannotOpenTempFile);
        File to = File::open(step.file, File::Mode::Create);
        ok = bool(to);
        CopyBar bar(progress, 0, total);
        std::uint64_t at = 0;
        for (const UndoPlan::Range& r : step.plan.saved) {
            ok = ok && copyBlocks(from, r.at, to, at, r.size, &bar).done();
            at += r.size;
        }
        ok = to.close() && ok;
    }
    if (!ok) {
        removeFile(step.file);
        return Outcome::failed(MessageId::CannotWriteUndo);
    }
    m_bytes += total;
    m_steps.push_back(std::move(step));
    return Outcome::done();
}

Outcome UndoJournal::reserve(UndoStep step, File& file) {
    step.file = m_folder + "Undo" + std::to_string(++m_serial) + ".bin";
    const std::uint64_t total = step.plan.savedBytes();
    file = File::open(step.file, File::Mode::Create);
    if (!file || !file.reserve(total)) {
        file.close();
        removeFile(step.file);
        return Outcome::failed(MessageId::CannotWriteUndo);
    }
    m_bytes += total;
    m_steps.push_back(std::move(step));
    return Outcome::done();
}

void UndoJournal::dropLast() {
    if (m_steps.size() > m_position) dropBack();
}

Outcome UndoJournal::undo(const std::string& workingFile, Progress& progress) {
    if (!canUndo()) return Outcome::failed(MessageId::NothingToUndo);
    const Outcome r = putBack(undoStep(), UINT64_MAX, 0, workingFile, progress);
    if (r.ok()) --m_position;
    return r;
}

Outcome UndoJournal::undoInterrupted(const std::string& workingFile, std::uint64_t moved, std::uint64_t unkept,
                                     Progress& progress) {
    if (!canRedo()) return Outcome::failed(MessageId::CannotReadUndo);
    return putBack(redoStep(), moved, unkept, workingFile, progress);
}

Outcome UndoJournal::putBack(const UndoStep& step, std::uint64_t cutAt, std::uint64_t unkept,
                             const std::string& workingFile, Progress& progress) {
    const UndoPlan& plan = step.plan;
    // Bytes the edit had not kept yet it had not changed either: they stay as they are.
    std::uint64_t kept = plan.savedBytes() - std::min(unkept, plan.savedBytes());
    std::uint64_t total = kept;
    for (const UndoPlan::Move& m : plan.moves) total += std::min(m.size, cutAt);
    File work = File::open(workingFile, File::Mode::ReadWrite);
    if (!work) return Outcome::failed(MessageId::CannotOpenTempFile);
    File saved = File::open(step.file, File::Mode::Read);
    if (!saved) return Outcome::failed(MessageId::CannotReadUndo);
    // The file takes its old length, with its space, before any byte moves: an undo that grows
    // the file (Delete, Cut Out) on a full disk fails here, with the file as it was, rather
    // than half-way through the moves with the audio shifted.
    if (!work.reserve(plan.length)) return Outcome::failed(MessageId::CannotWriteWorkingFile);
    CopyBar bar(progress, 0, total);
    bool ok = true;
    // The last move lies furthest on: it goes first. An edit cut short moved only the first
    // `cutAt` bytes; the rest are still in place.
    for (auto m = plan.moves.rbegin(); ok && m != plan.moves.rend(); ++m)
        ok = copyBlocks(work, m->from, work, m->to, std::min(m->size, cutAt), &bar).done();
    std::uint64_t at = 0;
    for (const UndoPlan::Range& r : plan.saved) {
        const std::uint64_t size = std::min(r.size, kept);
        ok = ok && copyBlocks(saved, at, work, r.at, size, &bar).done();
        at += size;
        kept -= size;
    }
    ok = ok && work.truncate(plan.length);
    if (!work.close() || !ok) return Outcome::failed(MessageId::CannotWriteWorkingFile);
    return Outcome::done();
}

void UndoJournal::dropFront() {
    m_bytes -= m_steps.front().plan.savedBytes();
    discardFile(m_steps.front().file);
    m_steps.pop_front();
    if (m_position > 0) --m_position;
    // The state before the dropped step can no longer be reached.
    m_saved = m_saved > 0 ? m_saved - 1 : -1;
}

void UndoJournal::dropBack() {
    m_bytes -= m_steps.back().plan.savedBytes();
    discardFile(m_steps.back().file);
    m_steps.pop_back();
    if (m_saved > std::int64_t(m_steps.size())) m_saved = -1;
    m_position = std::min(m_position, m_steps.size());
}

// "position saved serial|step|step...", each step's numbers separated by spaces, its file by
// its name alone: the folder changes when a document is recovered.
std::string UndoJournal::toText() const {
    std::ostringstream t;
    t << m_position << ' ' << m_saved << ' ' << m_serial;
    for (const UndoStep& s : m_steps) {
        std::uint32_t factorBits = 0;
        std::memcpy(&factorBits, &s.factor, sizeof factorBits);
        const WaveFormat& f = s.format;
        t << '|' << int(s.kind) << ' ' << factorBits << ' ' << s.framesPerColumn << ' ' << s.selection.startMarker
          << ' ' << s.selection.finishMarker << ' ' << f.channels << ' ' << f.sampleRate << ' ' << f.bitsPerSample
          << ' ' << f.dataSize << ' ' << f.dataEnd << ' ' << f.duration << ' ' << f.dataOffset << ' ' << f.blockSize
          << ' ' << f.frameCount << ' ' << s.plan.length << ' '
          << s.file.substr(s.file.find_last_of('/') + 1) << ' ' << s.plan.saved.size();
        for (const UndoPlan::Range& r : s.plan.saved) t << ' ' << r.at << ' ' << r.size;
        t << ' ' << s.plan.moves.size();
        for (const UndoPlan::Move& m : s.plan.moves) t << ' ' << m.from << ' ' << m.to << ' ' << m.size;
    }
    return t.str();
}

bool UndoJournal::fromText(const std::string& text) {
    clear();
    std::deque<UndoStep> steps;
    std::uint64_t bytes = 0;
    std::istringstream parts(text);
    std::string part;
    std::int64_t position = -1, saved = -2;
    std::uint64_t serial = 0;
    bool ok = std::getline(parts, part, '|') && bool(std::istringstream(part) >> position >> saved >> serial);
    while (ok && std::getline(parts, part, '|')) {
        std::istringstream t(part);
        UndoStep s;
        int kind = -1;
        std::uint32_t factorBits = 0;
        std::string name;
        std::size_t ranges = 0, moves = 0;
        WaveFormat& f = s.format;
        ok = bool(t >> kind >> factorBits >> s.framesPerColumn >> s.selection.startMarker >> s.selection.finishMarker >>
                  f.channels >> f.sampleRate >> f.bitsPerSample >> f.dataSize >> f.dataEnd >> f.duration >>
                  f.dataOffset >> f.blockSize >> f.frameCount >> s.plan.length >> name >> ranges) &&
             kind >= int(EditKind::Delete) && kind <= int(EditKind::FadeOut) && ranges < 16 &&
             name.rfind("Undo", 0) == 0 && name.find('/') == std::string::npos;
        for (std::size_t i = 0; ok && i < ranges; ++i) {
            UndoPlan::Range r;
            ok = bool(t >> r.at >> r.size);
            s.plan.saved.push_back(r);
        }
        ok = ok && bool(t >> moves) && moves < 16;
        for (std::size_t i = 0; ok && i < moves; ++i) {
            UndoPlan::Move m;
            ok = bool(t >> m.from >> m.to >> m.size) && m.to >= m.from;
            s.plan.moves.push_back(m);
        }
        if (!ok) break;
        s.kind = EditKind(kind);
        std::memcpy(&s.factor, &factorBits, sizeof factorBits);
        s.file = m_folder + name;
        // The step's file must hold exactly the bytes its plan puts back.
        ok = fileSize(s.file) == std::int64_t(s.plan.savedBytes());
        bytes += s.plan.savedBytes();
        steps.push_back(std::move(s));
    }
    ok = ok && position >= 0 && std::size_t(position) <= steps.size() && saved >= -1 &&
         saved <= std::int64_t(steps.size());
    if (!ok) {
        for (const UndoStep& s : steps) removeFile(s.file);
        m_saved = -1;
        return false;
    }
    m_steps = std::move(steps);
    m_position = std::size_t(position);
    m_saved = saved;
    m_serial = serial;
    m_bytes = bytes;
    return true;
}

void UndoJournal::clear() {
    while (!m_steps.empty()) dropBack();
    m_position = 0;
    m_bytes = 0;
    m_saved = -1;
}

}  // namespace torvane
