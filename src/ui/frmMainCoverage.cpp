// View > Coverage: the library's maps on one canvas, kept in step with the tree.
#include "ui/CoreText.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <QTimer>
#include <algorithm>

void frmMain::mnuViewCoverage_Click() {
    const bool opening = !frmCoverage::Loaded();
    frmCoverage& coverage = frmCoverage::Instance();
    if (opening) {
        // Owned by the main window, as a window the window system keeps above it (a plain
        // window with a parent is not); closed with it.
        coverage.setParent(this, coverage.windowFlags() | Qt::Tool);
        connect(coverage.picCanvas, &CoverageCanvas::MapClicked, this, [this](const QString& key) {
            if (QTreeWidgetItem* node = DirTree->Node(key); IsFileNode(node))
                DirTree->setCurrentItem(node);
        });
        ShowCoverage(); // fitted once the window has its size
    }
    coverage.ShowModeless();
    coverage.raise();
}

void frmMain::UpdateCoverage() {
    if (!frmCoverage::Loaded() || coverageDue_) return;
    coverageDue_ = true;
    QTimer::singleShot(0, this, [this] {
        coverageDue_ = false;
        if (frmCoverage::Loaded()) ShowCoverage();
    });
}

void frmMain::ShowCoverage() {
    std::vector<CoverageMap> maps;
    for (const Library::Entry& e : Maps->Entries()) {
        if (!e.HasCorners()) continue; // only definitions whose two corners read have a place
        const MapCode::MapDefinition& d = e.definition;
        maps.push_back({FromCore(e.name), std::max(d.topLeftLatitude, d.bottomRightLatitude) / 60.0,
                        std::min(d.topLeftLongitude, d.bottomRightLongitude) / 60.0,
                        std::min(d.topLeftLatitude, d.bottomRightLatitude) / 60.0,
                        std::max(d.topLeftLongitude, d.bottomRightLongitude) / 60.0,
                        e.NamesPicture() ? e.picturePath : std::string(),
                        e.NamesPicture() ? QString() : QString("the definition names no picture")});
    }
    frmCoverage& coverage = frmCoverage::Instance();
    coverage.picCanvas->SetMaps(std::move(maps));
    QTreeWidgetItem* selected = DirTree->SelectedItem();
    coverage.picCanvas->SetSelected(IsFileNode(selected) ? selected->text(0) : QString());
}
