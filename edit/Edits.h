#pragma once
// The five edits on the working file. Each rewrites the selection of the working file in place
// (bar 0, "Processing:"); the peak table is then brought up to date by whoever ran it (bar 1,
// "Reloading:"). The selection runs from the start marker's column up to, not including, the
// finish marker's.
//
// Each edit is one object that says once what it does to the file (change()); apply() carries
// that out in large blocks, and plan() derives from it what undo must keep, so the two cannot
// disagree. The bytes and header values are exactly those of rewriting the file one sample at
// a time, at the cost of a plain file copy.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "doc/DocumentState.h"
#include "edit/UndoStep.h"
#include "platform/File.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"

namespace torvane {

// Failures: MessageId::CannotOpenTempFile when the working file could not be opened for
// reading and writing (nothing was changed); MessageId::CannotWriteWorkingFile when a write or
// truncation failed part-way (a full disk, say); MessageId::NothingToKeep for Cut Out with
// nothing selected (it would empty the document).

// Told, after each block that Delete and Cut Out move has reached the file, how many bytes
// have been moved: what an undo of an edit cut short at that point needs (see UndoJournal).
using MovedBytes = CopiedBytes;

// What an edit does to a working file of `length` bytes, in the order it does it: the file is
// cut at `cutFirst`; `move.size` bytes at `move.from` go down to `move.to`, and the file then
// ends where they end; the bytes of `rewritten` are changed in place; the header's size fields
// in [0, header) are written again.
struct FileChange {
    static constexpr std::uint64_t kNoCut = UINT64_MAX;
    struct Move {
        std::uint64_t from = 0;
        std::uint64_t to = 0;  // never above `from`
        std::uint64_t size = 0;
    };
    std::uint64_t length = 0;
    std::uint64_t cutFirst = kNoCut;
    bool moves = false;
    Move move;
    UndoPlan::Range rewritten;
    std::uint64_t header = 0;
};

// What an edit that rewrites bytes in place does besides, in the same pass over the file: each
// block's old bytes go to `undo` (at the next offset from 0 on: the undo step's file) before its
// new bytes reach the working file, `kept` is then told how many bytes `undo` holds, and
// `written` is told each block's new bytes (offset in the working file) once they are there.
struct OnePass {
    File* undo = nullptr;
    std::function<void(std::uint64_t kept)> kept;
    std::function<void(const unsigned char* bytes, std::size_t size, std::uint64_t at)> written;
    std::size_t blockBytes = kBlockBytes;  // rounded down to whole frames
};

class Edit {
public:
    virtual ~Edit() = default;
    virtual EditKind kind() const = 0;
    // False when the edit leaves the file alone (Volume at 100 %).
    virtual bool changesFile() const { return true; }
    // What the edit does to the working file of `doc`, `fileLength` bytes long, with the
    // document's current markers.
    virtual FileChange change(const DocumentState& doc, std::uint64_t fileLength) const = 0;

    // Only rewrites bytes in place: its plan keeps one range, the old bytes of the rewritten
    // ones in order, which apply() can keep on its way (see OnePass).
    virtual bool rewritesInPlace() const { return false; }

    // What undo must keep to give back the file before apply(): every byte change() loses.
    UndoPlan plan(const DocumentState& doc, std::uint64_t fileLength) const;
    // Carries change() out on the working file (bar 0) and takes the header values it leaves.
    // With `pass.undo`, the edit keeps its plan's bytes in that file as it goes; when they cannot
    // all be kept (MessageId::CannotWriteUndo) the blocks already rewritten are put back.
    Outcome apply(DocumentState& doc, Progress& progress, const MovedBytes& moved = {},
                  const OnePass& pass = {}) const;

protected:
    // Rewrites whole frames of the selection; `first` is the index of the first within it.
    virtual void rewrite(const DocumentState&, unsigned char* /*bytes*/, std::size_t /*frames*/,
                         std::uint32_t /*first*/) const {}
};

// Removes the selection and closes the gap; the file gets shorter.
class DeleteEdit : public Edit {
public:
    EditKind kind() const override { return EditKind::Delete; }
    FileChange change(const DocumentState& doc, std::uint64_t fileLength) const override;
};

// Keeps only the selection.
class CutOutEdit : public Edit {
public:
    EditKind kind() const override { return EditKind::CutOut; }
    FileChange change(const DocumentState& doc, std::uint64_t fileLength) const override;
};

// Scales the selection by `factor` or silences it. A factor of exactly 1 without mute leaves
// the file alone.
class VolumeEdit : public Edit {
public:
    VolumeEdit(float factor, bool mute) : m_factor(factor), m_mute(mute) {}
    EditKind kind() const override { return m_mute ? EditKind::Mute : EditKind::Volume; }
    bool changesFile() const override { return m_factor != 1.0f || m_mute; }
    bool rewritesInPlace() const override { return true; }
    FileChange change(const DocumentState& doc, std::uint64_t fileLength) const override;

protected:
    void rewrite(const DocumentState& doc, unsigned char* bytes, std::size_t frames, std::uint32_t first) const override;

private:
    float m_factor;
    bool m_mute;
};

// 100 stairs of integer gain over the selection: 0 % up to 99 %, or 100 % down to 1 %.
class FadeEdit : public Edit {
public:
    explicit FadeEdit(bool in) : m_in(in) {}
    EditKind kind() const override { return m_in ? EditKind::FadeIn : EditKind::FadeOut; }
    bool rewritesInPlace() const override { return true; }
    FileChange change(const DocumentState& doc, std::uint64_t fileLength) const override;

protected:
    void rewrite(const DocumentState& doc, unsigned char* bytes, std::size_t frames, std::uint32_t first) const override;

private:
    bool m_in;
};

// The file that a change which only cuts and moves (Delete, Cut Out) leaves, as ranges of the
// file before it, one after the other; apply() then writes the size fields again (see
// patchSizesAfterLengthChange). Lets the bytes be taken straight from a copy of the file
// instead of moving them inside it. None for a change that rewrites bytes or would leave a hole.
std::optional<std::vector<UndoPlan::Range>> keptRanges(const FileChange& c);

// The edit of a kind; `factor` is Volume's.
std::unique_ptr<Edit> makeEdit(EditKind kind, float factor = 1.0f);

// The Volume dialog's list: 250 %, 200 %, 150 %, 100 %, 75 %, 50 %, 25 % (any other index).
float volumeFactor(int index);

}  // namespace torvane
