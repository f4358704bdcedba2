// Tools > Export for Devices...: the selected map, or the maps of the view's extent, for phones,
// GPS units and paper.
#include "ui/frmExportDevice.h"
#include "ui/frmMain.h"

#include <algorithm>

namespace {

// The part of the map shown in the frame, in degrees; none when no placed map is shown.
std::optional<Georef::Area> ViewExtent(const frmMain& m) {
    if (!m.MapViewer) return std::nullopt;
    const QRect visible = QRect(m.picInner->mapFrom(m.picOuter, QPoint(0, 0)), m.picOuter->size()) &
                          m.picInner->rect();
    if (visible.isEmpty()) return std::nullopt;
    const auto a = m.MapViewer->PlaceAt(visible.topLeft());
    const auto b = m.MapViewer->PlaceAt(visible.bottomRight());
    if (!a || !b) return std::nullopt;
    return Georef::Area{std::max(a->first, b->first) / 60.0, std::min(a->second, b->second) / 60.0,
                        std::min(a->first, b->first) / 60.0, std::max(a->second, b->second) / 60.0};
}

} // namespace

void frmMain::mnuToolsExportDevice_Click() {
    const bool opening = !frmExportDevice::Loaded();
    frmExportDevice& window = frmExportDevice::Instance();
    if (opening) window.setParent(this, window.windowFlags() | Qt::Tool); // above, closed with it
    const Library::Entry* e = SelectedEntry();
    if (!window.Running()) window.Attach(*Maps, e ? e->name : std::string(), ViewExtent(*this));
    window.ShowModeless();
    window.raise();
    window.activateWindow();
}
