#include "ui/frmSplash.h"

#include "ui/Accessibility.h"
#include "ui/Pictures.h"
#include "view/PictureBox.h"

QString AppInfo::VersionText() {
    return QStringLiteral("Version %1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision);
}

void SetAutoSizeCaption(QLabel* label, const QString& caption) {
    label->setText(caption);
    const QSize hint = label->sizeHint();
    const QRectF r = Twips::Rect(label);
    // A right-aligned caption keeps its right edge, so it grows into the window, not out of it.
    const float width = Twips::FromPixels(hint.width());
    const float left =
        label->alignment() & Qt::AlignRight ? float(r.right()) - width : float(r.left());
    Twips::Move(label, left, float(r.top()), width, Twips::FromPixels(hint.height()));
}

namespace {
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, float l, float t,
                  float w, float h, int tab, Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop) {
    auto* label = Control<QLabel>(parent, name, l, t, w, h, tab, caption);
    label->setAlignment(align);
    return label;
}

void BoldFont(QLabel* label, double points) {
    QFont f("MS Sans Serif");
    f.setPointSizeF(points);
    f.setBold(true);
    label->setFont(f);
    SetAutoSizeCaption(label, label->text());
}
} // namespace

frmSplash::frmSplash() {
    setObjectName("frmSplash");
    setWindowIcon(ProgramIcon());
    fraMainFrame = new QGroupBox(this);
    fraMainFrame->setObjectName("fraMainFrame");
    Place(fraMainFrame, 45, -15, 7380, 4590, 0);

    picLogo = new PictureBox(fraMainFrame);
    picLogo->setObjectName("picLogo");
    Place(picLogo, 510, 855, 1815, 2385, 2);

    const auto right = Qt::AlignRight | Qt::AlignTop;
    lblLicenseTo =
        MakeLabel(fraMainFrame, "lblLicenseTo", "LicenseTo", 270, 300, 6855, 255, 1, right);
    lblCompanyProduct =
        MakeLabel(fraMainFrame, "lblCompanyProduct", "CompanyProduct", 2505, 765, 3000, 435, 8);
    BoldFont(lblCompanyProduct, 18);
    lblProductName = MakeLabel(fraMainFrame, "lblProductName", "Product", 2670, 1200, 2190, 720, 9);
    BoldFont(lblProductName, 29.25);
    lblPlatform =
        MakeLabel(fraMainFrame, "lblPlatform", "Platform", 5865, 2400, 1140, 360, 7, right);
    BoldFont(lblPlatform, 13.5);
    lblVersion = MakeLabel(fraMainFrame, "lblVersion", "Version", 6075, 2760, 930, 300, 6, right);
    BoldFont(lblVersion, 12);
    lblCopyright = MakeLabel(fraMainFrame, "lblCopyright", "Copyright", 4710, 3120, 2415, 255, 4);
    lblCompany = MakeLabel(fraMainFrame, "lblCompany", "Company", 4710, 3330, 2415, 255, 5);
    lblWarning = MakeLabel(fraMainFrame, "lblWarning", "Warning", 300, 3720, 6855, 195, 3);

    Define(QString(), Border::None, StartUp::CentreScreen, 7455, 4710, false, false);
    setWindowFlag(Qt::Tool); // no task bar button
    // Without a title bar the window has no caption to be announced by.
    setAccessibleName(AppInfo::kTitle);
    setAccessibleDescription("Varnet is starting");
    fraMainFrame->setAccessibleName(AppInfo::kTitle);
    Accessibility::Describe(picLogo, QAccessible::Graphic, "Varnet logo");
    ApplyTabOrder(this);
    ShowSplashLogo(picLogo); // last: it may still be being drawn while the captions are set
}

void frmSplash::Form_Load() {
    SetAutoSizeCaption(lblVersion, AppInfo::VersionText());
    SetAutoSizeCaption(lblProductName, AppInfo::kTitle);
}
