// View > Coverage: the library's maps on one canvas, which follows the library itself.
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

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
        coverage.picCanvas->Follow(*Maps, *Places); // fitted once the window has its size
        QTreeWidgetItem* selected = DirTree->SelectedItem();
        coverage.picCanvas->SetSelected(IsFileNode(selected) ? selected->text(0) : QString());
    }
    coverage.ShowModeless();
    coverage.raise();
}
