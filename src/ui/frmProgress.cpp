#include "ui/frmProgress.h"

#include "ui/CentreForm.h"
#include "ui/Pictures.h"

frmProgress::frmProgress() {
    setObjectName("frmProgress");
    setWindowIcon(ProgramIcon());
    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    Place(ProgressBar1, 270, 120, 8085, 285, 0);
    Define("Reading Map files", Border::FixedSingle, StartUp::SystemDefault, 8700, 675, false,
           false);
    setAccessibleDescription("The map definition files of the Maps folder being read");
    ProgressBar1->setAccessibleName(windowTitle());
}

void frmProgress::Form_Load() {
    MapCode::CentreForm(*this);
}
