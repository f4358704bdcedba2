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
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace {

constexpr const char* kApp = "Varnet";
constexpr const char* kSection = "Settings";
// The smallest window that still shows the tree, the details and a piece of the map between
// its bars (twips).
constexpr float kMinWidth = 3000, kMinHeight = 3000;

// A stored placement value; a text that is not a number, or a number no window can have, gives
// the default.
float StoredTwips(const char* key, float defaultValue) {
    const std::string text = Platform::GetSetting(kApp, kSection, key, "");
    if (text.empty()) return defaultValue;
    try {
        return MapCode::ToSingle(MapCode::StrictNumber(text));
    } catch (...) {
        return defaultValue;
    }
}

// The shortest decimal text that reads back as the same single-precision value; nothing when
// the value has none (not finite).
std::optional<std::string> TwipsText(float value) {
    char buf[64]; // the longest, FLT_MAX written out whole, takes 39 digits and a sign
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (r.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return std::string(buf, r.ptr);
}

bool OnSomeScreen(const QRect& px) {
    for (const QScreen* s : QGuiApplication::screens())
        if (s->geometry().intersects(px)) return true;
    return false;
}

// The screen a window at `px` opens on: the one holding most of it, else the primary one.
const QScreen* ScreenOf(const QRect& px) {
    const QScreen* best = QGuiApplication::primaryScreen();
    long long most = 0;
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect common = s->geometry().intersected(px);
        const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
        if (area > most) most = area, best = s;
    }
    return best;
}

} // namespace

void frmMain::Form_Load() {
    StartupCode::PicScroll = std::make_unique<cPicScroll>();

    float left = StoredTwips("MainLeft", 1000), top = StoredTwips("MainTop", 1000);
    float width = StoredTwips("MainWidth", 6500), height = StoredTwips("MainHeight", 6500);
    if (width < 0) width = 6500; // no window has a negative size
    if (height < 0) height = 6500;
    // Any size is brought within what the layout can show and the screen can hold.
    const float far = 1e9f; // beyond every screen, yet within pixels' range
    left = std::clamp(left, -far, far);
    top = std::clamp(top, -far, far);
    width = std::max(std::min(width, far), kMinWidth);
    height = std::max(std::min(height, far), kMinHeight);
    auto pixels = [&] {
        return QRect(Twips::ToPixels(left), Twips::ToPixels(top), Twips::ToPixels(width),
                     Twips::ToPixels(height));
    };
    if (const QScreen* screen = ScreenOf(pixels())) {
        const QRect area = screen->availableGeometry();
        width = std::min(width, std::max(kMinWidth, Twips::FromPixels(area.width())));
        height = std::min(height, std::max(kMinHeight, Twips::FromPixels(area.height())));
    }
    if (!QGuiApplication::screens().isEmpty() && !OnSomeScreen(pixels())) {
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
    std::vector<std::pair<std::string, std::string>> values;
    const std::pair<const char*, float> placement[] = {
        {"MainLeft", Left()}, {"MainTop", Top()}, {"MainWidth", Width()}, {"MainHeight", Height()}};
    for (const auto& [key, value] : placement)
        if (const auto text = TwipsText(value)) values.emplace_back(key, *text);
    // Said where a closing program can say it: a message box would stop the exit.
    std::string error;
    if (!Platform::SaveSettings(kApp, kSection, values, &error))
        std::fprintf(stderr, "Varnet: the window's placement could not be saved: %s\n",
                     error.c_str());
}
