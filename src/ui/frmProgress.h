#pragma once
// The progress window shown while the library tree reads the map definition files.

#include "ui/Controls.h"
#include "ui/Form.h"

class frmProgress : public FormOf<frmProgress> {
    Q_OBJECT
public:
    frmProgress();
    ProgressBar* ProgressBar1;
    void Form_Load() override;
};
