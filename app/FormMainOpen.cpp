// Opening a file into the main window.

#include <QDragEnterEvent>
#include <QDropEvent>

#include "app/FormMain.h"

namespace torvane {

void TMainForm::ButtonOpenClick() {}
void TMainForm::RunOpen() {}
void TMainForm::dragEnterEvent(QDragEnterEvent* e) { QMainWindow::dragEnterEvent(e); }
void TMainForm::dropEvent(QDropEvent* e) { QMainWindow::dropEvent(e); }

}  // namespace torvane
