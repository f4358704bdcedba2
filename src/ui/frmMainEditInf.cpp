// Tools > Edit Inf file...: the editor on the selected definition, and the tree brought up to
// date after a save.
#include "mapdef/MapCode.h"
#include "ui/frmInfEdit.h"
#include "platform/Text.h"
#include "ui/CoreText.h"
#include "ui/frmMain.h"

void frmMain::mnuToolsEditInf_Click() {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    if (!IsFileNode(node)) return; // nothing, the root or the drive node
    const std::string path = NodeFolder(node) + "\\" + ToCore(node->text(0));
    frmInfEdit& editor = frmInfEdit::Instance();
    editor.setInfPath(path);
    connect(&editor, &frmInfEdit::Saved, this,
            [this](const QString& saved) { RefreshFileNode(ToCore(saved)); });
    editor.ShowModal(nullptr);
}

void frmMain::RefreshFileNode(const std::string& path) {
    QTreeWidgetItem* drive = DirTree->Node(DriveNodeKey);
    if (!drive) return;
    for (int i = 0; i < drive->childCount(); ++i) {
        QTreeWidgetItem* node = drive->child(i);
        const std::string folder = NodeFolder(node);
        const std::string nodePath = folder + "\\" + ToCore(node->text(0));
        if (!Platform::EqualsNoCase(nodePath, path)) continue;
        float a = 0, b = 0, c = 0, d = 0;
        std::string image, tl, br;
        MapCode::ReadMapDefinition(folder + "\\", nodePath, a, b, c, d, image, tl, br);
        DirTree->SetImage(node, image.empty() ? "FileX" : "File");
        if (DirTree->SelectedItem() == node) DirTree_Click();
        UpdateCoverage();
        return;
    }
}
