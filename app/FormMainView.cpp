// The waveform view, transport, markers, zoom and meters of the main window.

#include "app/FormMain.h"

namespace torvane {

// Selection and markers.
void TMainForm::MSelectAllClick() { SetUIMode(m_doc.uiMode); }
void TMainForm::CButtonSetStartClick() { SetUIMode(m_doc.uiMode); }
void TMainForm::CButtonSetFinishClick() { SetUIMode(m_doc.uiMode); }

// Zoom.
void TMainForm::MZoom10Click() {}
void TMainForm::MZoom8Click() {}
void TMainForm::MZoom6Click() {}
void TMainForm::MZoom4Click() {}
void TMainForm::MZoom2Click() {}
void TMainForm::MZoom1Click() {}
void TMainForm::ButtonZoomInClick() {}
void TMainForm::ButtonZoomOutClick() {}

// Transport.
void TMainForm::CButtonPlayClick() {}
void TMainForm::CButtonPlayFromHereClick() {}
void TMainForm::CButtonPauseClick() {}
void TMainForm::CButtonStopClick() {}

// Play cursor and meters.
void TMainForm::Timer1Timer() {}

}  // namespace torvane
