// The banner area of the main window: still to come (the banner is off until it lands).

#include "app/FormMain.h"

namespace torvane {

void TMainForm::SetupBanner() {}
void TMainForm::LoadBanner() {}

}  // namespace torvane
