// View > Coverage: the library's maps on one canvas, kept in step with the tree.
#include "mapdef/MapCode.h"
#include "ui/CoreText.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <algorithm>

void frmMain::mnuViewCoverage_Click() {
    const bool opening = !frmCoverage::Loaded();
    frmCoverage& coverage = frmCoverage::Instance();
    if (opening) {
        // Owned by the main window: above it, closed with it.
        coverage.setParent(this, coverage.windowFlags() | Qt::Window);
        connect(coverage.picCanvas, &CoverageCanvas::MapClicked, this, [this](const QString& key) {
            if (QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey))
                for (int i = 0; i < drive->childCount(); ++i)
                    if (drive->child(i)->text(0) == key) DirTree->setCurrentItem(drive->child(i));
        });
        UpdateCoverage();
        coverage.ShowAll();
    }
    coverage.ShowModeless();
    coverage.raise();
}

void frmMain::UpdateCoverage() {
    if (!frmCoverage::Loaded()) return;
    std::vector<CoverageMap> maps;
    QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey);
    for (int i = 0; drive && i < drive->childCount(); ++i) {
        QTreeWidgetItem* node = drive->child(i);
        const std::string folder = NodeFolder(node);
        float tlLon = 0, tlLat = 0, brLon = 0, brLat = 0;
        std::string image, tl, br;
        // Only definitions whose two corners read have a place.
        if (!MapCode::ReadMapDefinition(folder + "\\", folder + "\\" + ToCore(node->text(0)), tlLon,
                                        tlLat, brLon, brLat, image, tl, br) ||
            tl.empty() || br.empty())
            continue;
        CoverageMap m{node->text(0),
                      std::max(tlLat, brLat) / 60.0,
                      std::min(tlLon, brLon) / 60.0,
                      std::min(tlLat, brLat) / 60.0,
                      std::max(tlLon, brLon) / 60.0,
                      image.empty() ? std::string() : folder + "\\" + image,
                      image.empty() ? QString("the definition names no picture") : QString()};
        maps.push_back(std::move(m));
    }
    frmCoverage& coverage = frmCoverage::Instance();
    coverage.picCanvas->SetMaps(std::move(maps));
    QTreeWidgetItem* selected = DirTree->SelectedItem();
    coverage.picCanvas->SetSelected(IsFileNode(selected) ? selected->text(0) : QString());
}
