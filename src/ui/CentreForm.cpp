#include "ui/CentreForm.h"

#include "app/StartupCode.h"
#include "ui/frmMain.h"

namespace MapCode {

void CentreForm(Form& form) {
    if (!StartupCode::MainWindow) return; // nothing to centre over: the window stays put
    const frmMain& main = *StartupCode::MainWindow;
    const float left = main.Left() + (main.Width() - form.Width()) / 2;
    const float top = main.Top() + (main.Height() - form.Height()) / 2;
    form.Move(left, top);
}

} // namespace MapCode
