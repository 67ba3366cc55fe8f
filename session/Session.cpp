#include "session/Session.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>

#include <sys/mman.h>

#include "doc/PeakScan.h"
#include "doc/PlayColumn.h"
#include "doc/RecoveryState.h"
#include "doc/WorkingFile.h"
#include "edit/Edits.h"
#include "platform/File.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"

namespace torvane {
namespace {

// Bar 0 of another Progress, of which this work is the part from `from` to `to` percent: the
// copy kept for undo and the edit itself share the "Processing" bar, which so never goes back.
class ProgressPart final : public Progress {
public:
    ProgressPart(Progress& whole, int from, int to) : m_whole(whole), m_from(from), m_to(to) {}
    void setPercent(int bar, int percent) override {
        m_whole.setPercent(bar, bar == 0 ? m_from + percent * (m_to - m_from) / 100 : percent);
    }
    bool cancelRequested() const override { return m_whole.cancelRequested(); }

private:
    Progress& m_whole;
    int m_from, m_to;
};

// How far an edit has got, in a file beside the recovery state for as long as the edit runs:
// the bytes it has moved, then the bytes of its undo step's file it has not kept yet (8 bytes
// each, little-endian). It is a shared mapping of the file: a store is in the file's page as
// soon as it is made, so it outlives the process (a crash, a kill) at no cost per block, and
// each value is stored whole. The edit's own writes reached the file before a count of moved
// bytes; a count of unkept bytes goes in before the working file's bytes it allows change.
class EditMark {
public:
    explicit EditMark(const std::string& path) : m_path(path) {
        if (path.empty()) return;
        m_file = File::open(path, File::Mode::Create, 0600);
        void* map = m_file && m_file.truncate(16)
                        ? ::mmap(nullptr, 16, PROT_READ | PROT_WRITE, MAP_SHARED, m_file.fd(), 0)
                        : MAP_FAILED;
        if (map != MAP_FAILED) m_words = static_cast<std::uint64_t*>(map);
    }
    ~EditMark() {
        if (m_words) ::munmap(m_words, 16);
        if (!m_file) return;
        m_file.close();
        removeFile(m_path);
    }
    EditMark(const EditMark&) = delete;
    EditMark& operator=(const EditMark&) = delete;
    bool valid() const { return m_words != nullptr; }
    void moved(std::uint64_t bytes) { store(0, bytes); }
    void unkept(std::uint64_t bytes) { store(1, bytes); }

private:
    void store(int word, std::uint64_t v) {
        unsigned char b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
        std::uint64_t little;
        std::memcpy(&little, b, 8);
        std::atomic_ref<std::uint64_t>(m_words[word]).store(little, std::memory_order_relaxed);
    }

    std::string m_path;
    File m_file;
    std::uint64_t* m_words = nullptr;
};

// What an edit cut short had moved and not kept; 0 for what the mark does not hold.
struct EditMarkRead {
    std::uint64_t moved = 0;
    std::uint64_t unkept = 0;
};
EditMarkRead readEditMark(const std::string& path) {
    unsigned char b[16] = {};
    File::open(path, File::Mode::Read).readSomeAt(0, b, 16);
    EditMarkRead m;
    for (int i = 0; i < 8; ++i) {
        m.moved |= std::uint64_t(b[i]) << (8 * i);
        m.unkept |= std::uint64_t(b[8 + i]) << (8 * i);
    }
    return m;
}

bool selectable(const DocumentState& doc, std::uint32_t start, std::uint32_t finish) {
    return doc.loaded && start < finish && finish < doc.view.columnCount;
}

}  // namespace

// Marks the session busy for one command; commands do not nest, but a nested scope keeps
// the outer one's state.
class Session::BusyScope {
public:
    explicit BusyScope(Session& s) : m_session(s), m_was(s.m_busy.load()) { s.m_busy = true; }
    // Every command ends here: what it changed is recorded for recovery.
    ~BusyScope() {
        m_session.m_busy = m_was;
        if (!m_was) m_session.saveRecoveryState();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    Session& m_session;
    bool m_was;
};

Session::Session() = default;

Session::~Session() {
    m_journal.clear();
    m_player.reset();
    m_workingFile.reset();
    m_folder.reset();
}

bool Session::createFolder(const std::string& parent) {
    const std::string base = withTrailingSeparator(parent.empty() ? systemTempFolder() : parent);
    m_parentFolder = base;
    // Folders of instances that were killed or crashed hold working files of up to 4 GB each.
    removeFoldersOfEndedInstances(base);
    m_folder = std::make_unique<InstanceFolder>(base);
    m_doc.tempFolder = hasFolder() ? m_folder->path() : std::string();
    m_journal.setFolder(m_doc.tempFolder);
    return hasFolder();
}

void Session::removeFolder() {
    m_journal.clear();
    m_player.reset();
    m_workingFile.reset();
    m_folder.reset();
    m_doc.tempFolder.clear();
}

void Session::adoptWorkingFile(const std::string& path) {
    m_workingFile = OwnedFile(path);
    m_doc.workingFilePath = path;
}

bool Session::openPlayer() {
    // The old one lets go of the file first.
    m_player.reset();
    if (!m_engine) return false;
    auto player = m_engine->openPlayer(m_doc.workingFilePath);
    if (!player) return false;
    m_player.emplace(std::move(*player));
    return true;
}

void Session::selectWholeDocument() {
    m_doc.selection.startMarker = 0;
    // An empty view keeps its single column 0 rather than wrapping below zero.
    m_doc.selection.finishMarker = m_doc.view.columnCount ? m_doc.view.columnCount - 1 : 0;
}

// --- document commands ----------------------------------------------------------------------

Outcome Session::open(const std::string& path, Progress& progress, std::uint64_t workingFileLimit) {
    BusyScope busy(*this);
    if (!hasFolder()) return Outcome::failed(MessageId::NoInstanceFolder);
    if (Outcome r = openable(path); !r.ok()) return r;
    close();
    m_doc.documentPath = path;
    m_doc.view.framesPerColumn = kDefaultFramesPerColumn;
    m_doc.tempFolder = m_folder->path();
    m_workingFile = OwnedFile(workingFilePathIn(m_doc.tempFolder));
    const Outcome r = openDocument(m_doc, progress, workingFileLimit);
    if (!r.ok()) {
        // Nothing of a failed or cancelled open is kept: no partial working file is left.
        m_workingFile.reset();
        m_doc.workingFilePath.clear();
        return r;
    }
    m_doc.modified = false;
    m_journal.reset();
    selectWholeDocument();
    m_doc.loaded = true;
    m_doc.uiMode = ModeStopped;
    return r;
}

Outcome Session::startPlayer() {
    BusyScope busy(*this);
    if (!openPlayer()) {
        close();
        return Outcome::failed(MessageId::CannotPlay);
    }
    m_doc.streamLength = m_player->length();
    m_playerWanted = true;
    return Outcome::done();
}

void Session::close() {
    if (hasFolder()) removeFile(m_folder->path() + kRecoveryFileName);
    if (playerActive()) stop();
    m_player.reset();
    m_playerWanted = false;
    m_doc.streamLength = 0;
    // The history belongs to the document: its files go with it.
    m_journal.reset();
    m_workingFile.reset();
    m_doc.resetDocument();
    m_doc.uiMode = ModeNoDocument;
}

Outcome Session::workingFileIntact() const {
    // The header values were read at open and kept by every edit: a working file that no
    // longer holds them was removed or changed by someone else, and reading it would give
    // silence or garbage that a save would then write over the user's file.
    // (A missing one is left to each command, which says it cannot open it.)
    const std::string& path = m_doc.workingFilePath;
    if (!pathExists(path)) return Outcome::done();
    if (!isRegularFile(path) || std::uint64_t(fileSize(path)) < std::uint64_t(std::uint32_t(m_doc.format.dataEnd)))
        return Outcome::failed(MessageId::WorkingFileGone);
    return Outcome::done();
}

Outcome Session::zoomTo(std::int32_t framesPerColumn, Progress& progress) {
    if (framesPerColumn == m_doc.view.framesPerColumn) return Outcome::done();
    if (Outcome intact = workingFileIntact(); !intact.ok()) return intact;
    BusyScope busy(*this);
    if (playerActive()) stop();
    // The reload reads the working file; the player lets go of it meanwhile.
    m_player.reset();
    const std::int32_t before = m_doc.view.framesPerColumn;
    m_doc.view.framesPerColumn = framesPerColumn;
    const Outcome r = reloadPeakTable(m_doc, progress, 0);
    // A failed reload keeps the old table: the zoom it was made at goes with it.
    if (!r.ok()) m_doc.view.framesPerColumn = before;
    // Same file, same data: the stream length stays what it was. A file the engine now
    // refuses leaves the document without a player, as after a failed edit.
    openPlayer();
    selectWholeDocument();
    m_doc.uiMode = ModeStopped;
    return r;
}

// --- edits ------------------------------------------------------------------------------------

void Session::releasePlayer() {
    if (playerActive()) stop();
    m_player.reset();
}

void Session::restorePlayer() {
    if (!m_playerWanted || m_player) return;
    // A working file the engine refuses (removed meanwhile, say) leaves no player and a
    // stream length of 0: nothing plays, and every column is column 0.
    m_doc.streamLength = openPlayer() ? m_player->length() : 0;
}

Outcome Session::runEdit(EditKind kind, float factor, Progress& progress, bool redoing, bool tableAtZoom) {
    if (Outcome intact = workingFileIntact(); !intact.ok()) return intact;
    BusyScope busy(*this);
    const std::unique_ptr<Edit> edit = makeEdit(kind, factor);
    // Recovery learns how far the edit has got: an editor killed part-way gives back the
    // document as it was before this edit.
    EditMark mark(m_recoveryKept && hasFolder() ? m_folder->path() + kEditMarkFileName : std::string());
    bool journaled = false;
    File undoFile;  // open while the edit itself keeps the step's bytes
    std::uint64_t unkept = 0;
    if (!redoing && !m_keepUndo) {
        releasePlayer();
    } else if (!redoing) {
        UndoStep step;
        step.kind = kind;
        step.factor = factor;
        step.format = m_doc.format;
        step.framesPerColumn = m_doc.view.framesPerColumn;
        step.selection = m_doc.selection;
        const std::int64_t length = fileSize(m_doc.workingFilePath);
        if (length >= 0) step.plan = edit->plan(m_doc, std::uint64_t(length));
        const std::uint64_t bytes = step.plan.savedBytes();
        if (bytes > m_journal.limit()) {
            // Asked before anything changes: No leaves the document and its history alone.
            const bool space = m_journal.limitedBySpace();
            const MessageId reason = space ? MessageId::NoSpaceForUndo : MessageId::EditTooBigForUndo;
            if (!m_askWithoutUndo) return Outcome::failed(reason);
            if (!m_askWithoutUndo(reason)) return Outcome::cancelled();
            releasePlayer();
        } else if (length >= 0) {
            m_journal.makeRoom(bytes);
            releasePlayer();
            // An edit that rewrites in place keeps the old bytes on its way, reading the file
            // once; recovery then needs the mark to know how far it got.
            const bool onePass = edit->rewritesInPlace() && step.plan.moves.empty() && step.plan.saved.size() == 1 &&
                                 (!m_recoveryKept || mark.valid());
            ProgressPart keeping(progress, 0, 50);
            const Outcome kept = onePass ? m_journal.reserve(std::move(step), undoFile)
                                         : m_journal.record(std::move(step), m_doc.workingFilePath, keeping);
            if (!kept.ok()) {
                restorePlayer();
                m_doc.uiMode = m_doc.loaded ? ModeStopped : ModeNoDocument;
                return kept;
            }
            journaled = true;
            if (onePass) unkept = bytes;
        } else {
            releasePlayer();
        }
    } else {
        releasePlayer();
    }

    // Nothing of the working file changes before the mark and the recovery state say so.
    if (mark.valid()) mark.unkept(unkept);
    if (m_recoveryKept) saveRecoveryState(true, journaled || redoing);
    OnePass pass;
    if (undoFile) {
        pass.undo = &undoFile;
        if (mark.valid()) pass.kept = [&mark, unkept](std::uint64_t n) { mark.unkept(unkept - n); };
    }
    std::optional<PeakUpdate> peaks;
    if (edit->rewritesInPlace() && tableAtZoom) {
        peaks.emplace(m_doc);
        pass.written = [&peaks](const unsigned char* bytes, std::size_t size, std::uint64_t at) {
            peaks->written(bytes, size, at);
        };
    }
    const MovedBytes moved = mark.valid() ? MovedBytes([&mark](std::uint64_t n) { mark.moved(n); }) : MovedBytes();
    ProgressPart editing(progress, journaled && !undoFile ? 50 : 0, 100);
    Outcome r = edit->apply(m_doc, editing, moved, pass);
    if (undoFile && !undoFile.close() && r.ok()) {
        // The edit is done but its step's file may not hold the bytes: it stands without undo.
        m_journal.dropLast();
        journaled = false;
    }
    if (r.ok() && edit->changesFile()) {
        // Only the columns the edit rewrote are read again; a table that is not this
        // document's is made afresh.
        const File f = peaks ? File::open(m_doc.workingFilePath, File::Mode::Read) : File();
        if (f && peaks->finish(f, m_doc)) progress.setPercent(1, 100);
        else r = reloadPeakTable(m_doc, progress, 1);
    }
    restorePlayer();
    if (r.ok()) {
        if (redoing) m_journal.redone();
        else if (journaled) m_journal.commitLast();
        else m_journal.clear();  // an edit without undo: what came before cannot be undone across it
        m_doc.modified = !m_journal.atSaved();
        selectAfterEdit(kind);
    } else if (journaled) {
        m_journal.dropLast();
    }
    m_doc.uiMode = m_doc.loaded ? ModeStopped : ModeNoDocument;
    return r;
}

void Session::selectAfterEdit(EditKind kind) {
    const std::uint32_t columns = m_doc.view.columnCount;
    if (kind == EditKind::Delete) {
        // One column past the start, but never past the last column.
        m_doc.selection.finishMarker = columns ? std::min(m_doc.selection.startMarker + 1, columns - 1) : 0;
        m_doc.selection.startMarker = std::min(m_doc.selection.startMarker, m_doc.selection.finishMarker);
    } else if (kind == EditKind::CutOut) {
        selectWholeDocument();
    }
}

Outcome Session::deleteSelection(Progress& progress) { return runEdit(EditKind::Delete, 1.0f, progress); }

std::optional<Outcome> Session::openEdited(const std::string& path, std::int32_t framesPerColumn, EditKind kind,
                                           std::optional<Selection> selection, Progress& progress) {
    const bool zoom = std::find(kZoomLevels.begin(), kZoomLevels.end(), framesPerColumn) != kZoomLevels.end();
    if ((kind != EditKind::Delete && kind != EditKind::CutOut) || !zoom || !hasFolder() || !openable(path).ok())
        return std::nullopt;
    BusyScope busy(*this);
    close();
    m_doc.documentPath = path;
    m_doc.view.framesPerColumn = framesPerColumn;
    m_doc.tempFolder = m_folder->path();
    m_workingFile = OwnedFile(workingFilePathIn(m_doc.tempFolder));
    const std::unique_ptr<Edit> edit = makeEdit(kind);
    // The working file the edit would leave, as ranges of the source that open copies whole.
    // `d` is this session's document, read from the source's header.
    const auto plan = [&](DocumentState& d, std::uint64_t length) -> std::optional<std::vector<SourceRange>> {
        d.loaded = true;  // select()'s rule, on the document open would leave
        if (!selection) selectWholeDocument();
        else if (selectable(d, selection->startMarker, selection->finishMarker)) d.selection = *selection;
        else return std::nullopt;
        if (kind == EditKind::CutOut && !cutOutAllowed()) return std::nullopt;
        const auto kept = keptRanges(edit->change(d, length));
        if (!kept) return std::nullopt;
        std::vector<SourceRange> ranges;
        for (const UndoPlan::Range& r : *kept) ranges.push_back({r.at, r.size});
        return ranges;
    };
    const std::optional<Outcome> r = openDocumentKeeping(m_doc, plan, progress);
    if (!r || !r->ok()) {
        // Nothing of it is kept, as after a failed open.
        const std::string kept = m_doc.tempFolder;
        m_workingFile.reset();
        m_doc.resetDocument();
        if (r) m_doc.documentPath = path;
        m_doc.tempFolder = kept;
        return r;
    }
    // An edit without undo: nothing before it can be undone, and the document is modified.
    m_journal.reset();
    m_journal.clear();
    m_doc.modified = !m_journal.atSaved();
    m_doc.loaded = true;
    selectAfterEdit(kind);
    m_doc.uiMode = ModeStopped;
    return r;
}

Outcome Session::openable(const std::string& path) {
    return isOpenableSource(path) ? Outcome::done() : Outcome::failed(MessageId::CannotOpenFile);
}

bool Session::select(std::uint32_t start, std::uint32_t finish) {
    if (!selectable(m_doc, start, finish)) return false;
    m_doc.selection = {start, finish};
    return true;
}

bool Session::cutOutAllowed() const { return m_doc.selection.startMarker < m_doc.selection.finishMarker; }

Outcome Session::cutOut(Progress& progress) {
    if (!cutOutAllowed()) return Outcome::failed(MessageId::NothingToKeep);
    return runEdit(EditKind::CutOut, 1.0f, progress);
}

Outcome Session::changeVolume(float factor, bool mute, Progress& progress) {
    return runEdit(mute ? EditKind::Mute : EditKind::Volume, factor, progress);
}

Outcome Session::fadeIn(Progress& progress) { return runEdit(EditKind::FadeIn, 1.0f, progress); }
Outcome Session::fadeOut(Progress& progress) { return runEdit(EditKind::FadeOut, 1.0f, progress); }

// --- undo -------------------------------------------------------------------------------------

std::string Session::undoName() const { return canUndo() ? editCaptionKey(m_journal.undoStep().kind) : std::string(); }
std::string Session::redoName() const { return canRedo() ? editCaptionKey(m_journal.redoStep().kind) : std::string(); }

Outcome Session::undo(Progress& progress) {
    if (!canUndo()) return Outcome::failed(MessageId::NothingToUndo);
    if (Outcome intact = workingFileIntact(); !intact.ok()) return intact;
    BusyScope busy(*this);
    releasePlayer();
    const UndoStep step = m_journal.undoStep();
    Outcome r = m_journal.undo(m_doc.workingFilePath, progress);
    if (r.ok()) {
        // The file is the one before the edit again: so are its header values, and the
        // table at the zoom the edit was made at.
        m_doc.format = step.format;
        m_doc.view.framesPerColumn = step.framesPerColumn;
        r = reloadPeakTable(m_doc, progress, 1);
        m_doc.selection = step.selection;
        m_doc.modified = !m_journal.atSaved();
    }
    restorePlayer();
    m_doc.uiMode = ModeStopped;
    return r;
}

Outcome Session::redo(Progress& progress) {
    if (!canRedo()) return Outcome::failed(MessageId::NothingToRedo);
    // The edits are deterministic: run again on the same bytes with the same markers and
    // zoom, each gives the same result, and the journal keeps no second copy of the audio.
    // The step's saved bytes are still those the edit overwrites, as the file is back to
    // what it was when they were taken.
    const UndoStep& step = m_journal.redoStep();
    const bool sameZoom = m_doc.view.framesPerColumn == step.framesPerColumn;
    m_doc.view.framesPerColumn = step.framesPerColumn;
    m_doc.selection = step.selection;
    return runEdit(step.kind, step.factor, progress, true, sameZoom);
}

Outcome Session::save(const std::string& destination, Progress& progress, std::optional<SaveFormat> format,
                      bool standardOutput) {
    return saveTo(destination, progress, format, standardOutput, false);
}

Outcome Session::saveLast(const std::string& destination, Progress& progress, std::optional<SaveFormat> format,
                          bool standardOutput) {
    const Outcome r = saveTo(destination, progress, format, standardOutput, true);
    close();
    return r;
}

Outcome Session::saveTo(const std::string& destination, Progress& progress, std::optional<SaveFormat> format,
                        bool standardOutput, bool last) {
    if (Outcome intact = workingFileIntact(); !intact.ok()) return intact;
    BusyScope busy(*this);
    const std::string target = destination;  // may be the document path itself
    releasePlayer();
    SaveOptions options;
    options.encoderFolder = programLibraryFolder(m_programFolder);
    options.format = format;
    options.target.scratchFolder = m_doc.tempFolder;
    options.target.standardOutput = standardOutput;
    options.keepTags = m_keepTags;
    options.takeWorkingFile = last;
    const Outcome r = saveDocument(m_doc, target, options, progress);
    restorePlayer();
    if (r.ok()) {
        m_doc.modified = false;
        m_journal.markSaved();
        m_doc.documentPath = target;
    }
    if (m_doc.loaded) m_doc.uiMode = ModeStopped;
    return r;
}

// --- transport --------------------------------------------------------------------------------

PlayerState Session::playerState() { return m_player ? m_player->state() : PlayerState::Stopped; }

std::uint64_t Session::playPosition() { return m_player ? m_player->position() : 0; }

std::uint32_t Session::playColumn() { return playColumnAt(m_doc, playPosition()); }

bool Session::setPosition(std::uint64_t position) { return m_player && m_player->seek(position); }

void Session::play() {
    if (m_player) m_player->play(true);
    m_doc.uiMode = ModePlaying;
}

void Session::playFromHere() {
    if (m_doc.uiMode == ModeStopped) {
        std::uint64_t p = playPosition();
        // From the very start it begins one column past the start marker, inside the selection.
        if (p == 0) p = columnPosition(m_doc, m_doc.selection.startMarker + 1);
        setPosition(p);
    } else {
        // Paused on a marker: move past it, or the stop rule would pause again at once.
        const std::uint32_t c = playColumn();
        if (c == m_doc.selection.startMarker || c == m_doc.selection.finishMarker)
            setPosition(columnPosition(m_doc, c + 3));
    }
    if (m_player) m_player->play(false);
    m_doc.uiMode = ModePlaying;
}

void Session::pause() {
    // Pausing what is not playing (it ran out meanwhile) changes nothing in the player.
    if (m_player) m_player->pause();
    m_doc.uiMode = ModePaused;
}

void Session::stop() {
    if (m_player) {
        m_player->stop();
        m_player->seek(0);  // 0 is never past the end
    }
    m_doc.uiMode = ModeStopped;
}

bool Session::setStartMarker() {
    const std::uint32_t c = playColumn();
    if (c >= m_doc.selection.finishMarker) return false;
    m_doc.selection.startMarker = c;
    saveRecoveryState();
    return true;
}

bool Session::setFinishMarker() {
    const std::uint32_t c = playColumn();
    if (c <= m_doc.selection.startMarker) return false;
    m_doc.selection.finishMarker = c;
    saveRecoveryState();
    return true;
}

void Session::selectAll() {
    selectWholeDocument();
    saveRecoveryState();
}

// --- recovery -----------------------------------------------------------------------------

void Session::saveRecoveryState(bool editing, bool editUndoable) {
    if (!m_recoveryKept || !hasFolder() || !m_doc.loaded) return;
    RecoveryState s;
    s.documentPath = m_doc.documentPath;
    s.sourceBitRate = m_doc.sourceBitRate;
    s.framesPerColumn = m_doc.view.framesPerColumn;
    s.startMarker = m_doc.selection.startMarker;
    s.finishMarker = m_doc.selection.finishMarker;
    s.modified = m_doc.modified;
    s.undoIndex = std::uint32_t(m_journal.position());
    s.journal = m_journal.toText();
    s.editing = editing;
    s.editUndoable = editUndoable;
    writeRecoveryState(m_folder->path(), s);
    // Unsaved work outlives a kill request (a logout, say): the next start offers it.
    m_folder->keepOnTermination(m_doc.modified);
}

std::vector<std::string> Session::foldersToRecover() {
    // Looked for once while an offer is open: the folders cannot change under its locks.
    if (m_offered.empty() && !m_parentFolder.empty()) m_offered = lockFoldersToRecover(m_parentFolder);
    std::vector<std::string> paths;
    for (const LeftFolder& f : m_offered) paths.push_back(f.path);
    return paths;
}

LeftFolder Session::takeOffered(const std::string& folder) {
    const auto it = std::find_if(m_offered.begin(), m_offered.end(), [&](const LeftFolder& f) { return f.path == folder; });
    if (it == m_offered.end()) return {};
    LeftFolder taken = std::move(*it);
    m_offered.erase(it);
    return taken;
}

void Session::discardRecovery(const std::string& folder) {
    const LeftFolder offered = takeOffered(folder);
    if (offered.lock.held()) removeInstanceFolder(offered.path);
}

Outcome Session::recover(const std::string& folder, Progress& progress) {
    if (!hasFolder()) return Outcome::failed(MessageId::NoInstanceFolder);
    // Its lock is held until the folder is gone (or the recovery failed).
    const LeftFolder offered = takeOffered(folder);
    if (!offered.lock.held()) return Outcome::failed(MessageId::CannotRecover);
    const auto state = readRecoveryState(folder);
    if (!state) return Outcome::failed(MessageId::CannotRecover);
    BusyScope busy(*this);
    close();
    // Same parent folder: the files move by renaming, however long the document is.
    const std::string working = workingFilePathIn(m_folder->path());
    if (!renameFile(workingFilePathIn(folder), working)) return Outcome::failed(MessageId::CannotRecover);
    m_workingFile = OwnedFile(working);
    m_doc.workingFilePath = working;
    m_doc.documentPath = state->documentPath;
    m_doc.sourceBitRate = state->sourceBitRate;
    const bool knownZoom = std::find(kZoomLevels.begin(), kZoomLevels.end(), state->framesPerColumn) != kZoomLevels.end();
    m_doc.view.framesPerColumn = knownZoom ? state->framesPerColumn : kDefaultFramesPerColumn;
    Selection selection{state->startMarker, state->finishMarker};
    // The undo history comes along: its step files move beside the working file. A history
    // that does not hold up is dropped; the document itself is still given back.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(folder), ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("Undo", 0) == 0) renameFile(folder + name, m_folder->path() + name);
    }
    if (!m_journal.fromText(state->journal) || (state->editing && !state->editUndoable)) m_journal.reset();
    if (state->editing && state->editUndoable && m_journal.canRedo()) {
        // Killed in the middle of an edit: its step puts the file back as it was before it, and
        // the edit can be redone.
        const UndoStep step = m_journal.redoStep();
        const EditMarkRead mark = readEditMark(folder + kEditMarkFileName);
        if (Outcome back = m_journal.undoInterrupted(working, mark.moved, mark.unkept, progress); !back.ok()) {
            close();
            return back;
        }
        m_doc.view.framesPerColumn = step.framesPerColumn;
        selection = step.selection;
    }
    const Outcome r = readWorkingHeader(m_doc) == WaveHeaderError::None ? reloadPeakTable(m_doc, progress, 0)
                                                                       : Outcome::failed(MessageId::CannotRecover);
    if (!r.ok()) {
        close();
        return r;
    }
    const std::uint32_t last = m_doc.view.columnCount ? m_doc.view.columnCount - 1 : 0;
    m_doc.selection.finishMarker = std::min(selection.finishMarker, last);
    m_doc.selection.startMarker = std::min(selection.startMarker, m_doc.selection.finishMarker);
    m_doc.modified = true;
    m_doc.loaded = true;
    m_doc.uiMode = ModeStopped;
    removeInstanceFolder(folder);
    return Outcome::done();
}

void Session::placeAt(std::uint32_t column) { setPosition(columnPosition(m_doc, column)); }

bool Session::applyStopRule(std::uint32_t c) {
    if (m_busy || !m_doc.loaded || m_doc.workingFilePath.empty()) return false;
    if (c == 0 || c == m_doc.view.columnCount - 1) return false;
    if (c != m_doc.selection.startMarker && c != m_doc.selection.finishMarker) return false;
    if (m_player) m_player->pause();
    m_doc.uiMode = ModePaused;
    return true;
}

Session::Tick Session::tick() {
    Tick t;
    if (m_busy) return t;
    if (playerActive()) {
        t.repaint = m_doc.uiMode == ModePlaying;
    } else if (m_doc.uiMode == ModePlaying) {
        stop();  // played to the end
        t.ended = true;
    }
    // Without a player the meters keep their last input; a stopped one reads silence.
    if (m_player) {
        m_player->spectrum(m_fft);
        m_level = m_player->level();
    }
    return t;
}

}  // namespace torvane
