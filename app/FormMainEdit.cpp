// The five edits of the main window: each stops playback, runs the session's edit inside the
// process dialog (which ends on failure too), shows a failure's message once the dialog is
// gone, and shows the new document stopped.

#include <QCheckBox>
#include <QComboBox>

#include "app/FormMain.h"
#include "app/TProcessForm.h"
#include "app/TVolumeForm.h"
#include "app/WorkerThread.h"
#include "edit/Edits.h"
#include "platform/Prompts.h"

namespace torvane {

void TMainForm::runEdit(const std::function<Outcome(Progress&)>& edit) {
    if (m_session.playerActive()) CButtonStopClick();
    Outcome outcome;
    // TDelThread, TCutOutThread, TSetVolumeThread, TFadeInThread, TFadeOutThread.
    WorkerThread::runModal(*ProcessForm, [&](DialogProgress& progress) {
        outcome = edit(progress);
        ProcessForm->done(1);
    });
    if (!outcome.ok()) m_prompts->message(outcome.message);
    setWaveWidth(int(m_doc.view.columnCount));
    repaintWave();
    SetUIMode(ModeStopped);
}

void TMainForm::ButtonDeleteClick() {
    runEdit([this](Progress& p) { return m_session.deleteSelection(p); });
}

void TMainForm::ButtonCutOutClick() {
    // Nothing selected: keeping only the selection would empty the document.
    if (!m_session.cutOutAllowed()) {
        m_prompts->message(kMsgNothingToKeep);
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

}  // namespace torvane
