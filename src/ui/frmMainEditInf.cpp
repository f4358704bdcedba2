// Tools > Edit Inf file...: the editor on the selected definition, and the library brought up
// to date after a save.
#include "platform/Text.h"
#include "ui/CoreText.h"
#include "ui/frmInfEdit.h"
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
    for (const Library::Entry& e : Maps->Entries())
        if (Platform::EqualsNoCase(e.path, path)) {
            Maps->Update(e.native); // its icon, details and place in coverage follow
            return;
        }
}
