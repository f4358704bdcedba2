// The grid places are written in and drawn by: View > Grid and View > Grid Lines, and their
// settings.
#include "georef/Georef.h"
#include "grids/Grids.h"
#include "platform/Settings.h"
#include "ui/frmMain.h"

#include <QActionGroup>

namespace {

// The grid a View > Grid item stands for (its key is the item's data).
Grids::Grid GridOf(const QAction* item) {
    std::string why;
    return Grids::GridOfKey(item->data().toString().toStdString(), why).value_or(Grids::Grid{});
}

// Keeps a setting of the View menu; a status line says so when it cannot.
void Keep(StatusBar& status, const char* key, const std::string& value, const QString& what) {
    std::string error;
    if (!Platform::SaveSetting("Varnet", "Settings", key, value, &error))
        status.SetPanelText(1, "The setting " + what +
                                   " could not be kept: " + QString::fromStdString(error));
}

} // namespace

void frmMain::BuildGridMenu(QMenu* view) {
    mnuViewBar3 = view->addSeparator();
    mnuViewBar3->setObjectName("mnuViewBar3");
    QMenu* grids = view->addMenu("&Grid");
    grids->setObjectName("mnuViewGridMenu");
    mnuViewGrid = grids->menuAction();
    mnuViewGrid->setObjectName("mnuViewGrid");
    auto* group = new QActionGroup(this); // one grid at a time
    auto item = [&](QAction*& a, const char* name, const QString& caption, const char* key) {
        a = grids->addAction(caption);
        a->setObjectName(name);
        a->setData(QString(key));
        a->setCheckable(true);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { mnuViewGrid_Click(a); });
    };
    item(mnuViewGridLatLon, "mnuViewGridLatLon", "&Latitude/Longitude", "latlon");
    item(mnuViewGridBng, "mnuViewGridBng", "&British National Grid", "bng");
    item(mnuViewGridIrish, "mnuViewGridIrish", "&Irish Grid", "irish");
    item(mnuViewGridItm, "mnuViewGridItm", "Irish &Transverse Mercator", "itm");
    item(mnuViewGridUtm, "mnuViewGridUtm", "&UTM", "utm");
    item(mnuViewGridMgrs, "mnuViewGridMgrs", "&MGRS", "mgrs");
    mnuViewGridLatLon->setChecked(true);
    mnuViewGridLines = view->addAction("Grid &Lines");
    mnuViewGridLines->setObjectName("mnuViewGridLines");
    mnuViewGridLines->setCheckable(true);
    // The handler sets the check mark itself, so Qt's own flip is undone first.
    connect(mnuViewGridLines, &QAction::triggered, this, [this] {
        mnuViewGridLines->setChecked(!mnuViewGridLines->isChecked());
        mnuViewGridLines_Click();
    });
}

void frmMain::LoadGridSettings() {
    const std::string key = Platform::GetSetting("Varnet", "Settings", "Grid", "");
    QAction* chosen = mnuViewGridLatLon;
    for (QAction* a : mnuViewGrid->menu()->actions())
        if (a->data().toString().compare(QString::fromStdString(key), Qt::CaseInsensitive) == 0)
            chosen = a;
    chosen->setChecked(true);
    MapViewer->SetGrid(GridOf(chosen), Georef::LibraryDatum());
    mnuViewGridLines->setChecked(Platform::GetSetting("Varnet", "Settings", "GridLines", "") ==
                                 "1");
    MapViewer->SetGridLines(mnuViewGridLines->isChecked());
}

void frmMain::mnuViewGrid_Click(QAction* item) {
    item->setChecked(true);
    MapViewer->SetGrid(GridOf(item), Georef::LibraryDatum());
    Keep(*sbStatusBar, "Grid", item->data().toString().toStdString(), "Grid");
}

void frmMain::mnuViewGridLines_Click() {
    const bool on = !mnuViewGridLines->isChecked();
    mnuViewGridLines->setChecked(on);
    MapViewer->SetGridLines(on);
    Keep(*sbStatusBar, "GridLines", on ? "1" : "0", "Grid Lines");
}
