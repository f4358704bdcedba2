#pragma once
// The About dialog: the program's name and version, and a button that starts the system
// information tool.

#include "platform/Registry.h"
#include "ui/Controls.h"
#include "ui/Form.h"

#include <QLabel>
#include <QPushButton>
#include <string>

class PictureBox;

class frmAbout : public FormOf<frmAbout> {
    Q_OBJECT
public:
    frmAbout();
    PictureBox* picIcon;
    QLabel *lblTitle, *lblVersion, *lblDescription, *lblDisclaimer;
    LineControl* Line1[2];
    QPushButton *cmdOK, *cmdSysInfo;

    void Form_Load() override;
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void StartSysInfo();
    // Reads one registry value as text into KeyVal; true when it was read.
    bool GetKeyValue(Platform::HKEY KeyRoot, const std::string& KeyName,
                     const std::string& SubKeyRef, std::string& KeyVal);
};
