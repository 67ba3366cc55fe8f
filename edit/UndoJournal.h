#pragma once
// The undo history of one document: for each edit the bytes it removed or overwrote, in a
// file of the instance folder, and the document values before it. Undo puts those bytes
// back in large blocks; a redo runs the edit again (see Session::redo).
//
// Steps [0, position) are done and can be undone; steps [position, size) were undone and
// can be redone. The bytes of all steps together stay within a limit: the oldest steps go
// first. Every file of the journal is deleted with it (clear, destruction).

#include <cstdint>
#include <deque>
#include <string>

#include "edit/UndoStep.h"
#include "platform/File.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"

namespace torvane {

inline constexpr std::uint64_t kDefaultUndoLimit = std::uint64_t(2) << 30;

class UndoJournal {
public:
    UndoJournal() = default;
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // Where the step files go (a folder ending in a separator).
    void setFolder(const std::string& folder) { m_folder = folder; }
    // 0: the default, 2 GiB or half the free space of the folder, whichever is less.
    void setLimit(std::uint64_t bytes) { m_limit = bytes; }
    std::uint64_t limit() const;
    // The limit is what the folder's free space allows, below the default.
    bool limitedBySpace() const;
    std::uint64_t bytes() const { return m_bytes; }

    bool canUndo() const { return m_position > 0; }
    bool canRedo() const { return m_position < m_steps.size(); }
    const UndoStep& undoStep() const { return m_steps[m_position - 1]; }
    const UndoStep& redoStep() const { return m_steps[m_position]; }
    std::size_t size() const { return m_steps.size(); }
    std::size_t position() const { return m_position; }

    // Before a new edit: drops the steps that could be redone, and the oldest ones until
    // `incoming` more bytes fit the limit. False when they cannot fit even alone.
    bool makeRoom(std::uint64_t incoming);
    // Copies the plan's ranges of the working file into a new step file and appends the
    // step; it counts as done only after commitLast(). Nothing is appended on failure.
    Outcome record(UndoStep step, const std::string& workingFile, Progress& progress);
    void commitLast() { m_position = m_steps.size(); }
    // record() for an edit that keeps the plan's bytes itself as it goes (see OnePass): the
    // step's file is made at its full length, with its space taken, and handed over in `file`
    // for the edit to write; the step is appended as by record().
    Outcome reserve(UndoStep step, File& file);
    // The edit after record() failed: its step goes.
    void dropLast();

    // Makes the working file what it was before undoStep() (bar 0); the position moves back
    // only when that completed.
    Outcome undo(const std::string& workingFile, Progress& progress);
    // The redo step's edit was cut short (a crash) after moving `moved` bytes, with the last
    // `unkept` bytes of its file not yet kept (an edit that kept them as it went had not
    // reached those bytes of the working file): makes the working file what it was before
    // that edit. The step stays, to be redone.
    Outcome undoInterrupted(const std::string& workingFile, std::uint64_t moved, std::uint64_t unkept,
                            Progress& progress);
    // After the redo step's edit ran again.
    void redone() { ++m_position; }

    // The document as saved matches the current position (false once that state is gone).
    void markSaved() { m_saved = std::int64_t(m_position); }
    bool atSaved() const { return m_saved == std::int64_t(m_position); }
    // Deletes every step and its file; the saved state is no longer in the history.
    void clear();
    // A new document: no steps, and the state it starts in counts as saved.
    void reset() {
        clear();
        m_saved = 0;
    }

    // The history as one line of text, for the recovery state; and taken back from it once
    // its step files sit in this journal's folder. fromText leaves the journal empty and
    // returns false when the text or a step file does not hold up.
    std::string toText() const;
    bool fromText(const std::string& text);

private:
    Outcome putBack(const UndoStep& step, std::uint64_t moved, std::uint64_t unkept, const std::string& workingFile,
                    Progress& progress);
    void dropFront();
    void dropBack();

    std::string m_folder;
    std::uint64_t m_limit = 0;
    std::deque<UndoStep> m_steps;
    std::size_t m_position = 0;
    std::int64_t m_saved = 0;  // -1: the saved document cannot be reached by undo or redo
    std::uint64_t m_bytes = 0;
    std::uint64_t m_serial = 0;
};

}  // namespace torvane
