#include "app/FormMain.h"

#include <QMessageBox>

#include "platform/Bass.h"

namespace torvane {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Torvane Audio Editor"));
    resize(714, 421);
    FormCreate();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::FormCreate() {
    if ((BASS_GetVersion() >> 16) != 0x0204) {
        QMessageBox::information(this, windowTitle(), QStringLiteral("An incorrect version of BASS.DLL was loaded"));
        return;
    }
    if (!BASS_Init(-1, 44100, 0, reinterpret_cast<void*>(winId()), nullptr)) {
        BASS_Free();
        QMessageBox::critical(nullptr, QString(), QStringLiteral("Can not start default recording device!"));
        return;
    }
    m_engineReady = true;
}

void TMainForm::FormDestroy() {
    if (m_engineReady) BASS_Free();
    m_engineReady = false;
}

}  // namespace torvane
