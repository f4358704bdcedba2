// The main window's life: its load restores the placement and wires the panes; its unload
// closes the other windows and keeps the placement for the next run.
#include "app/StartupCode.h"
#include "mapdef/Numbers.h"
#include "platform/Settings.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"
#include "view/Splitter.h"
#include "view/cPicScroll.h"

#include <QGuiApplication>
#include <QScreen>
#include <charconv>

namespace {

constexpr const char* kApp = "Varnet";
constexpr const char* kSection = "Settings";

// A stored placement value; a text that is not a number gives the default.
float StoredTwips(const char* key, float defaultValue) {
    const std::string text = Platform::GetSetting(kApp, kSection, key, "");
    if (text.empty()) return defaultValue;
    try {
        return MapCode::ToSingle(MapCode::StrictNumber(text));
    } catch (...) {
        return defaultValue;
    }
}

// The shortest decimal text that reads back as the same single-precision value.
std::string TwipsText(float value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

bool OnSomeScreen(const QRect& px) {
    for (const QScreen* s : QGuiApplication::screens())
        if (s->geometry().intersects(px)) return true;
    return false;
}

} // namespace

void frmMain::Form_Load() {
    StartupCode::PicScroll = std::make_unique<cPicScroll>();

    float left = StoredTwips("MainLeft", 1000), top = StoredTwips("MainTop", 1000);
    float width = StoredTwips("MainWidth", 6500), height = StoredTwips("MainHeight", 6500);
    if (width < 0) width = 6500; // no window has a negative size
    if (height < 0) height = 6500;
    const QRect px(Twips::ToPixels(left), Twips::ToPixels(top), Twips::ToPixels(width),
                   Twips::ToPixels(height));
    if (!QGuiApplication::screens().isEmpty() && !OnSomeScreen(px)) {
        left = 1000; // lost beyond every screen: bring it back where a first run puts it
        top = 1000;
    }
    Twips::Move(this, left, top, width, height);

    Splitter1->setChild1(DirTree);
    Splitter1->setChild2(Splitter2);
    Splitter2->setChild1(lstDetails);
    Splitter2->setChild2(picOuter);
    Splitter1->setSplitPercent(30);
    Splitter2->setSplitPercent(30);
    Twips::SetLeft(picInner, 0);
    Twips::SetTop(picInner, 0);

    FillLibraryTree();
}

void frmMain::Form_Unload(std::int16_t& Cancel) {
    (void)Cancel; // the unload always goes ahead
    for (int i = LoadedCount() - 1; i >= 1; --i)
        if (Form* f = LoadedAt(i); f && f != this) f->Unload();
    if (Minimized()) return; // the last normal or maximised placement stays
    Platform::SaveSetting(kApp, kSection, "MainLeft", TwipsText(Left()));
    Platform::SaveSetting(kApp, kSection, "MainTop", TwipsText(Top()));
    Platform::SaveSetting(kApp, kSection, "MainWidth", TwipsText(Width()));
    Platform::SaveSetting(kApp, kSection, "MainHeight", TwipsText(Height()));
}
