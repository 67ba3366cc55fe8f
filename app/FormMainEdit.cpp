// The five edits of the main window: each stops playback, runs the session's edit inside the
// process dialog (which ends on failure too), shows a failure's message once the dialog is
// gone, and shows the new document stopped.

#include <QCheckBox>
#include <QComboBox>
#include <QRegularExpression>

#include "app/FormMain.h"
#include "view/WaveView.h"
#include "app/TProcessForm.h"
#include "app/TVolumeForm.h"
#include "app/WorkerThread.h"
#include "edit/Edits.h"
#include "i18n/CaptionKeys.h"
#include "i18n/LanguageFile.h"
#include "platform/Prompts.h"

namespace torvane {

void TMainForm::runEdit(const std::function<Outcome(Progress&)>& edit) {
    if (m_session.playerActive()) CButtonStopClick();
    Outcome outcome;
    // TDelThread, TCutOutThread, TSetVolumeThread, TFadeInThread, TFadeOutThread.
    runCommand(*ProcessForm, [&](WorkerProgress& progress) { outcome = edit(progress); });
    // A cancelled edit (No to going on without undo) has nothing to say.
    showOutcome(outcome);
    // Undo and Redo bring back the zoom the edit was made at.
    syncZoomChecks(m_doc.view.framesPerColumn);
    setWaveWidth(waveWidthFor(m_doc));
    repaintWave();
    SetUIMode(ModeStopped);
}

void TMainForm::ButtonDeleteClick() {
    runEdit([this](Progress& p) { return m_session.deleteSelection(p); });
}

void TMainForm::ButtonCutOutClick() {
    // Nothing selected: keeping only the selection would empty the document.
    if (!m_session.cutOutAllowed()) {
        showMessage(MessageId::NothingToKeep);
        return;
    }
    runEdit([this](Progress& p) { return m_session.cutOut(p); });
}

void TMainForm::ButtonVolumeClick() {
    if (m_session.playerActive()) CButtonStopClick();
    m_session.releasePlayer();
    VolumeForm->ComboBox1->setCurrentIndex(3);
    VolumeForm->CheckBoxMute->setChecked(false);
    if (VolumeForm->exec() == 1) {
        const float factor = volumeFactor(VolumeForm->ComboBox1->currentIndex());
        const bool mute = VolumeForm->CheckBoxMute->isChecked();
        runEdit([this, factor, mute](Progress& p) { return m_session.changeVolume(factor, mute, p); });
        return;
    }
    // Cancelled: only the player changed (stopped, and a new stream made).
    m_session.restorePlayer();
    repaintWave();
    SetUIMode(ModeStopped);
}

void TMainForm::ButtonFadeInClick() {
    runEdit([this](Progress& p) { return m_session.fadeIn(p); });
}

void TMainForm::ButtonFadeOutClick() {
    runEdit([this](Progress& p) { return m_session.fadeOut(p); });
}

// Undo and Redo run in the same process dialog as the edits: the file moves back (bar 0),
// the waveform is rebuilt (bar 1).
void TMainForm::MUndoClick() {
    if (!m_session.canUndo()) return;
    runEdit([this](Progress& p) { return m_session.undo(p); });
}

void TMainForm::MRedoClick() {
    if (!m_session.canRedo()) return;
    runEdit([this](Progress& p) { return m_session.redo(p); });
}

void TMainForm::updateUndoTips() {
    // The captions of the language file in use, or the built-in ones without it.
    const auto caption = [this](const char* key) {
        QString q = QString::fromStdString(captionText(m_languageFile.get(), "Menu", key));
        q.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));  // "编辑(&E)", "&Edit"
        return q.trimmed();
    };
    const std::string undo = m_session.undoName(), redo = m_session.redoName();
    MUndo->setToolTip(undo.empty() ? caption("Undo") : caption("Undo") + ' ' + caption(undo.c_str()));
    MRedo->setToolTip(redo.empty() ? caption("Redo") : caption("Redo") + ' ' + caption(redo.c_str()));
}

}  // namespace torvane
