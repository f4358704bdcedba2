#include "ui/Placement.h"

#include "mapdef/Numbers.h"
#include "platform/Settings.h"
#include "ui/Form.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr const char* kApp = "Varnet";
constexpr const char* kSection = "Settings";
// The smallest window that still shows what it holds: for the main window the tree, the
// details and a piece of the map between its bars (twips).
constexpr float kMinWidth = 3000, kMinHeight = 3000;

// A stored placement value; a text that is not a number, or a number no window can have, gives
// the default.
float StoredTwips(const std::string& key, float defaultValue) {
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

void RestorePlacement(Form& form, const char* prefix, const QRectF& defaults) {
    const std::string p = prefix;
    float left = StoredTwips(p + "Left", float(defaults.left()));
    float top = StoredTwips(p + "Top", float(defaults.top()));
    float width = StoredTwips(p + "Width", float(defaults.width()));
    float height = StoredTwips(p + "Height", float(defaults.height()));
    if (width < 0) width = float(defaults.width()); // no window has a negative size
    if (height < 0) height = float(defaults.height());
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
    if (!QGuiApplication::screens().isEmpty() && !OnSomeScreen(pixels())) {
        // Lost beyond every screen: back where a first run puts it.
        left = float(defaults.left());
        top = float(defaults.top());
    }
    if (const QScreen* screen = ScreenOf(pixels())) {
        // Within the screen it opens on (a screen of fewer logical pixels, as at twice the
        // density, or one that is gone, leaves it partly off).
        const QRect area = screen->availableGeometry();
        width = std::min(width, std::max(kMinWidth, Twips::FromPixels(area.width())));
        height = std::min(height, std::max(kMinHeight, Twips::FromPixels(area.height())));
        const float areaLeft = Twips::FromPixels(area.left()),
                    areaTop = Twips::FromPixels(area.top());
        left = std::clamp(left, areaLeft,
                          std::max(areaLeft, Twips::FromPixels(area.right() + 1) - width));
        top = std::clamp(top, areaTop,
                         std::max(areaTop, Twips::FromPixels(area.bottom() + 1) - height));
    }
    Twips::Move(&form, left, top, width, height);
}

void KeepWithinScreen(QWidget& window) {
    const QRect frame = Twips::Outer(&window);
    const QScreen* screen = ScreenOf(frame);
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QPoint to(std::clamp(frame.left(), area.left(),
                               std::max(area.left(), area.right() + 1 - frame.width())),
                    std::clamp(frame.top(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - frame.height())));
    if (to != frame.topLeft()) window.move(to);
}

void SavePlacement(const Form& form, const char* prefix) {
    const std::string p = prefix;
    std::vector<std::pair<std::string, std::string>> values;
    const std::pair<std::string, float> placement[] = {{p + "Left", form.Left()},
                                                       {p + "Top", form.Top()},
                                                       {p + "Width", form.Width()},
                                                       {p + "Height", form.Height()}};
    for (const auto& [key, value] : placement)
        if (const auto text = TwipsText(value)) values.emplace_back(key, *text);
    std::string error;
    if (!Platform::SaveSettings(kApp, kSection, values, &error))
        std::fprintf(stderr, "Varnet: the window's placement could not be saved: %s\n",
                     error.c_str());
}
