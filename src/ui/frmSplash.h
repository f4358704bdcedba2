#pragma once
// The splash window, on screen while the program starts.

#include "ui/Form.h"

#include <QGroupBox>
#include <QLabel>

class PictureBox;

// The application's identity, fixed when the program is built.
namespace AppInfo {
inline const QString kTitle = QStringLiteral("Varnet");
constexpr int kMajor = 1, kMinor = 0, kRevision = 0;
// "Version 1.0.0"
QString VersionText();
} // namespace AppInfo

class frmSplash : public FormOf<frmSplash> {
    Q_OBJECT
public:
    frmSplash();
    QGroupBox* fraMainFrame;
    PictureBox* picLogo;
    QLabel *lblLicenseTo, *lblCompanyProduct, *lblProductName, *lblPlatform, *lblVersion,
        *lblCopyright, *lblCompany, *lblWarning;
    void Form_Load() override;
};

// A label that sizes itself to its text.
void SetAutoSizeCaption(QLabel* label, const QString& caption);
