#pragma once
// One open document and every command on it, for the editor window and torvane-cli alike.
//
// The session owns the document state, this instance's working folder, the working file and
// the player on it; each is released by its owner on every path. Long commands take a
// Progress and return an Outcome (done, cancelled, or failed with the message to show); the
// caller asks the user first and shows the outcome's message afterwards. While a command
// runs the session is busy: the window's timer and paint leave the document alone then.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/OpenDocument.h"
#include "codec/SaveDocument.h"
#include "doc/DocumentState.h"
#include "doc/InstanceFolder.h"
#include "edit/UndoJournal.h"
#include "platform/AudioEngine.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"
#include "session/Handles.h"

namespace torvane {

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Makes this instance's working folder inside `parent` (empty: the system temp folder).
    // False when it cannot be made: then no document can be opened, and nothing is ever
    // written to the shared temp folder instead.
    bool createFolder(const std::string& parent = {});
    bool hasFolder() const { return m_folder && m_folder->valid(); }
    // Removes the working folder with what is left in it (at exit).
    void removeFolder();

    // --- recovery -----------------------------------------------------------------------------
    // The editor keeps a recovery state beside the working file after every command, so that a
    // document with unsaved changes survives a crash or a kill; torvane-cli does not.
    void keepRecoveryState(bool keep) { m_recoveryKept = keep; }
    // Folders of ended instances with unsaved work, newest first. The session holds their locks
    // until each is answered (recover, discardRecovery) or the offer ends, so that an editor
    // starting meanwhile neither offers nor removes them too.
    std::vector<std::string> foldersToRecover();
    // Takes the document of such a folder as it was, modified, and removes the folder.
    Outcome recover(const std::string& folder, Progress& progress);
    // Removes such a folder (the user declined it).
    void discardRecovery(const std::string& folder);
    // Lets go of the folders offered and not answered: the next start offers them again.
    void endRecoveryOffer() { m_offered.clear(); }

    // The engine the player is made by (the editor's, once it started); none: no player.
    void setEngine(std::shared_ptr<AudioEngine> engine) { m_engine = std::move(engine); }

    // The session is the document's only writer: clients read it and change it by commands.
    const DocumentState& doc() const { return m_doc; }
    // For tests that need a document in a state no command reaches directly.
    DocumentState& stateForTests() { return m_doc; }
    bool busy() const { return m_busy; }
    bool hasDocument() const { return m_doc.loaded; }

    // --- document commands ----------------------------------------------------------------

    // Whether `path` may be opened at all (a regular file of a kind the editor reads): the
    // same answer for the window's Open, a dropped file, the command line and torvane-cli.
    static Outcome openable(const std::string& path);
    // The file the next open reads and a plain Save writes (the window names it before the open).
    void nameDocument(std::string path) { m_doc.documentPath = std::move(path); }
    // Where the encoder libraries are (the program's folder).
    void setProgramFolder(std::string folder) { m_programFolder = std::move(folder); }
    // The bit rate a save encodes at when the output is compressed (0: the source's).
    void setSourceBitRate(std::int32_t kbps) { m_doc.sourceBitRate = kbps; }
    void setUIMode(UIMode mode) { m_doc.uiMode = mode; }
    // Selects columns start up to, not including, finish. False (nothing changes) unless
    // start < finish and finish is a column of the document.
    bool select(std::uint32_t start, std::uint32_t finish);
    // The selection as it is now goes into the recovery state (after a drag, not at every step).
    void rememberSelection() { saveRecoveryState(); }

    // Decodes or copies `path` into a new working file, reads its header and builds the peak
    // table at 10 : 1 (bar 0 the decode or copy, bar 1 the table); sets the whole document
    // selected and unmodified. Any previous working file is deleted first. Cancel is honoured
    // while decoding. No playback stream yet: see startPlayer().
    Outcome open(const std::string& path, Progress& progress,
                 std::uint64_t workingFileLimit = kMaxWorkingFileBytes);
    // open(), zoomTo(framesPerColumn), select(selection) (none: the whole document, as open
    // leaves it) and the edit `kind` kept without undo (keepUndo(false)), done in one pass for
    // Delete and Cut Out of a WAV that open copies byte for byte: only the bytes the edit keeps
    // are copied. The document is then exactly what those commands leave. None, with no
    // document, when this cannot be done so (another kind of source or edit, a selection that
    // select() or the edit would refuse): the caller runs the commands one by one.
    std::optional<Outcome> openEdited(const std::string& path, std::int32_t framesPerColumn, EditKind kind,
                                      std::optional<Selection> selection, Progress& progress);
    // Opens the player on the working file. On failure (or without an engine) the working file
    // is deleted and the document closed.
    Outcome startPlayer();
    // Takes an existing working file as this session's own (deleted with the document).
    void adoptWorkingFile(const std::string& path);
    // Stops and frees the stream, deletes the working file, back to no document.
    void close();
    // Rebuilds the peak table at another zoom: playback stops, the stream lets go of the
    // working file meanwhile, and the whole document is selected afterwards.
    Outcome zoomTo(std::int32_t framesPerColumn, Progress& progress);

    // The five edits. Each stops playback and lets the stream go, rewrites the working file
    // (bar 0) and rebuilds the peak table (bar 1: Volume and the fades work out only the columns
    // they rewrote, from their new bytes), then opens a new stream; a completed edit
    // marks the document modified and leaves it stopped (mode 1). Delete keeps the start
    // marker and puts the finish marker one column on; Cut Out selects the whole result;
    // the others keep the markers. A failed edit changes neither the file nor the markers.
    Outcome deleteSelection(Progress& progress);
    Outcome cutOut(Progress& progress);
    // Cut Out keeps only the selection; with an empty selection it is refused (nothing changes).
    bool cutOutAllowed() const;
    Outcome changeVolume(float factor, bool mute, Progress& progress);
    Outcome fadeIn(Progress& progress);
    Outcome fadeOut(Progress& progress);

    // Undo and Redo of the five edits, many levels deep. Undo gives back the working file
    // byte for byte, its header values, the zoom, the peak table and the markers as they were
    // before the edit (bar 0 the file, bar 1 the table); the document is modified unless it
    // is back where it was last saved or opened. Redo runs the edit again on the markers it
    // had. A new edit drops what could be redone. Both stop playback like the edits.
    Outcome undo(Progress& progress);
    Outcome redo(Progress& progress);
    bool canUndo() const { return m_doc.loaded && m_journal.canUndo(); }
    bool canRedo() const { return m_doc.loaded && m_journal.canRedo(); }
    // The caption key of the edit that would be undone or redone ("FadeIn"), empty if none.
    std::string undoName() const;
    std::string redoName() const;
    // The bytes the journal may keep (0: 2 GiB or half the instance folder's free space,
    // whichever is less), and the question put when one edit alone needs more (it is given the
    // reason: MessageId::EditTooBigForUndo or MessageId::NoSpaceForUndo): true goes on without
    // undo (the journal is emptied), false leaves the document as it is and the edit ends
    // cancelled. Without a question the edit fails with the reason before anything changes.
    void setUndoLimit(std::uint64_t bytes) { m_journal.setLimit(bytes); }
    void setWithoutUndoQuestion(std::function<bool(MessageId reason)> ask) { m_askWithoutUndo = std::move(ask); }
    // Off: edits keep nothing for undo (a batch that never undoes need not copy the audio).
    void keepUndo(bool on) { m_keepUndo = on; }
    const UndoJournal& journal() const { return m_journal; }

    // Saves the document to `destination` in the format of its extension (through the
    // temporary file beside it); encoders are loaded from the document's program folder and
    // their failures come back in the outcome (see saveDocument). Only a completed save clears
    // the modified flag and makes `destination` the document path; a failed or cancelled one
    // changes nothing.
    // `format` stands in for the extension's; `standardOutput` lets "-" mean standard output.
    Outcome save(const std::string& destination, Progress& progress, std::optional<SaveFormat> format = std::nullopt,
                 bool standardOutput = false);
    // save() as the last command on the document (torvane-cli): the working file itself may
    // become the saved file, and the document is closed afterwards, saved or not.
    Outcome saveLast(const std::string& destination, Progress& progress, std::optional<SaveFormat> format = std::nullopt,
                     bool standardOutput = false);
    // Off: saves write the audio without the source's tags (see SaveOptions::keepTags).
    void keepTags(bool on) { m_keepTags = on; }

    // Stops playback and lets the working file go (the Volume dialog is shown without it), and
    // opens the stream again afterwards. Without a player (torvane-cli) both do nothing.
    void releasePlayer();
    void restorePlayer();

    // --- transport --------------------------------------------------------------------------

    // Each leaves the new UI mode in doc().uiMode.
    void play();
    void playFromHere();
    void pause();
    void stop();
    // False when the play column does not allow the marker there (nothing changes).
    bool setStartMarker();
    bool setFinishMarker();
    void selectAll();
    // A click in the waveform: the play position moves to column `column`.
    void placeAt(std::uint32_t column);
    // The stop rule, judged on the column the cursor was drawn on: playback pauses on a
    // marker (not on the first or last column). True when it paused.
    bool applyStopRule(std::uint32_t drawnColumn);
    bool hasPlayer() const { return m_player.has_value(); }
    // Stopped without a player.
    PlayerState playerState();
    bool playerActive() { return playerState() != PlayerState::Stopped; }
    // The play position in bytes (0 without a player) and its column.
    std::uint64_t playPosition();
    std::uint32_t playColumn();

    // The 100 ms tick: stops a playback that has run out and reads the meters' input.
    struct Tick {
        bool repaint = false;  // playing: the cursor moves
        bool ended = false;    // played to the end and stopped
    };
    Tick tick();
    const std::array<float, 512>& fft() const { return m_fft; }
    std::uint32_t level() const { return m_level; }

private:
    class BusyScope;
    // `editing`: an edit is about to change the working file (kept undoable or not).
    void saveRecoveryState(bool editing = false, bool editUndoable = false);
    // An offered folder taken out of the offer with its lock; an empty one when not offered.
    LeftFolder takeOffered(const std::string& folder);
    // Failed with MessageId::WorkingFileGone when the working file is there but no longer holds the
    // document (replaced by a folder, cut short).
    Outcome workingFileIntact() const;
    // A new player on the working file in place of the old one; false (and none) when the
    // engine refuses the file. The document's stream length is the caller's to set.
    bool openPlayer();
    // False when the position is past the end of the stream: it stays where it was.
    bool setPosition(std::uint64_t position);
    void selectWholeDocument();
    // The markers a completed Delete or Cut Out leaves.
    void selectAfterEdit(EditKind kind);
    // Runs one of the five edits with the document's current markers; `redoing` runs the
    // step the journal already holds instead of recording a new one. `tableAtZoom`: the peak
    // table is the one of the document's zoom (a redo may have changed the zoom).
    Outcome runEdit(EditKind kind, float factor, Progress& progress, bool redoing = false, bool tableAtZoom = true);
    Outcome saveTo(const std::string& destination, Progress& progress, std::optional<SaveFormat> format,
                   bool standardOutput, bool last);

    DocumentState m_doc;
    std::unique_ptr<InstanceFolder> m_folder;
    OwnedFile m_workingFile;
    std::shared_ptr<AudioEngine> m_engine;
    std::optional<Player> m_player;
    UndoJournal m_journal;
    std::function<bool(MessageId)> m_askWithoutUndo;
    bool m_keepUndo = true;
    bool m_keepTags = true;
    std::atomic<bool> m_busy{false};  // read by the window while a command runs elsewhere
    bool m_recoveryKept = false;
    std::string m_parentFolder;  // where the instance folders are
    std::string m_programFolder;
    std::vector<LeftFolder> m_offered;  // offered for recovery, locked until answered
    bool m_playerWanted = false;  // the document plays (the editor), or only edits (torvane-cli)
    std::array<float, 512> m_fft{};
    std::uint32_t m_level = 0;
};

}  // namespace torvane
