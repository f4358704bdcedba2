#include "ui/frmAbout.h"

#include "platform/CoreError.h"
#include "platform/DirList.h"
#include "platform/Process.h"
#include "ui/Accessibility.h"
#include "ui/MsgBox.h"
#include "ui/Pictures.h"
#include "ui/frmSplash.h"
#include "view/PictureBox.h"

#include <cstring>

frmAbout::frmAbout() {
    setObjectName("frmAbout");
    Accessibility::SetRole(this, QAccessible::Dialog); // before anything announces it
    setWindowIcon(ProgramIcon());
    picIcon = new PictureBox(this);
    picIcon->setObjectName("picIcon");
    picIcon->setBorderStyle(1);
    picIcon->setAutoSize(true);
    Place(picIcon, 240, 240, 540, 540, 2);
    ShowAboutIcon(picIcon);

    auto label = [this](const char* name, const QString& caption, float l, float t, float w,
                        float h, int tab) {
        auto* lbl = Control<QLabel>(this, name, l, t, w, h, tab, caption);
        lbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        lbl->setWordWrap(true);
        return lbl;
    };
    lblTitle = label("lblTitle", "Application Title", 1050, 240, 4092, 480, 5);
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = label("lblVersion", "Version", 1050, 780, 4092, 225, 4);
    lblDescription = label("lblDescription", "App Description", 1050, 1125, 4092, 1170, 6);
    Line1[1] = new LineControl(this, 225, 2430, 5657, 2430, QColor(128, 128, 128), 1);
    Line1[0] = new LineControl(this, 240, 2445, 5657, 2445, Qt::white, 2);
    lblDisclaimer = label("lblDisclaimer", "Warning: ...", 255, 2625, 3870, 825, 3);

    cmdOK = Control<QPushButton>(this, "cmdOK", 4245, 2625, 1467, 345, 0, "OK");
    cmdSysInfo =
        Control<QPushButton>(this, "cmdSysInfo", 4260, 3075, 1452, 345, 1, "&System Info...");
    DefaultButton = cmdOK;
    CancelButton = cmdOK;
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });

    Define("About Varnet", Border::FixedDialog, StartUp::CentreOwner, 5865, 3630, true, false);
    setAccessibleDescription("The program's name and version");
    Accessibility::Describe(picIcon, QAccessible::Graphic, "Varnet emblem");
    for (LineControl* line : Line1) Accessibility::SetRole(line, QAccessible::Separator);
    setWindowFlag(Qt::Tool);
    ApplyTabOrder(this);
}

void frmAbout::Form_Load() {
    lblVersion->setText(AppInfo::VersionText());
    lblTitle->setText(AppInfo::kTitle);
}

void frmAbout::cmdOK_Click() {
    Unload();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    using namespace Platform;
    try {
        std::string path;
        bool found = GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                                 "PATH", path);
        if (!found) {
            if (!GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location",
                             "MSINFO", path))
                throw CoreError(ErrorKind::FileError, "not found");
            DirListing look;
            if (look.First(path + "\\MSINFO32.EXE").empty())
                throw CoreError(ErrorKind::FileError, "not found");
            path += "\\MSINFO32.EXE";
        }
        std::string error;
        if (!StartProgram(path, &error)) throw CoreError(ErrorKind::FileError, error);
    } catch (...) {
        MsgBox("System Information Is Unavailable At This Time", vbOKOnly, kAppTitle);
    }
}

bool frmAbout::GetKeyValue(Platform::HKEY KeyRoot, const std::string& KeyName,
                           const std::string& SubKeyRef, std::string& KeyVal) {
    using namespace Platform;
    // Reading needs only the right to read: a user who may not change the machine's keys can
    // still find the tool.
    HKEY key = 0;
    if (RegOpenKeyExA(KeyRoot, KeyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        KeyVal = "";
        RegCloseKey(key);
        return false;
    }
    unsigned char buffer[1024] = {};
    std::uint32_t size = sizeof buffer, type = 0;
    if (RegQueryValueExA(key, SubKeyRef.c_str(), nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
        KeyVal = "";
        RegCloseKey(key);
        return false;
    }
    struct Closer {
        HKEY k;
        ~Closer() { RegCloseKey(k); }
    } closer{key};
    const void* zero = std::memchr(buffer, 0, sizeof buffer);
    if (!zero) throw CoreError(ErrorKind::InvalidArgument, "Invalid procedure call or argument");
    const std::string cut(reinterpret_cast<const char*>(buffer),
                          static_cast<const unsigned char*>(zero) - buffer);
    if (type == REG_SZ) {
        KeyVal = cut;
    } else if (type == REG_DWORD) {
        std::uint32_t n = 0;
        std::memcpy(&n, buffer, sizeof n);
        KeyVal = std::to_string(n);
    }
    return true;
}
