// Tools > New Inf file...: a definition for a picture of the Maps folder, its corners from the
// picture's world file when there is one; and View > Refresh.
#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "platform/WinPath.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"

#include <filesystem>

namespace {

// The name a native file of a folder goes by in the core, when the file lies directly in it. A
// symbolic link in the folder is a file of the folder, wherever it leads.
std::optional<std::string> NameInFolder(const std::string& nativeFolder, const QString& picked) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = fs::path(picked.toStdString()).lexically_normal();
    const fs::path parent = fs::weakly_canonical(file.parent_path(), ec);
    const fs::path folder = fs::weakly_canonical(fs::path(nativeFolder), ec);
    if (ec || parent != folder) return std::nullopt;
    std::vector<Platform::FolderEntry> entries;
    Platform::ListFolder(nativeFolder, entries);
    for (const auto& e : entries)
        if (e.native == file.filename().string()) return e.name;
    return std::nullopt;
}

} // namespace

void frmMain::mnuViewRefresh_Click() {
    RefreshLibrary();
    const std::size_t n = Maps->Entries().size();
    const QString folder = FromCore(Maps->Folder());
    if (!Maps->Error().empty()) return; // the fill has said why the folder cannot be read
    sbStatusBar->SetPanelText(
        1,
        n == 0
            ? "The Maps folder " + folder + " holds no map definitions."
            : QString("%1 map definition%2 read from %3.").arg(n).arg(n == 1 ? "" : "s", folder));
}

void frmMain::mnuToolsNewInf_Click() {
    const std::string maps = StartupCode::HostFolder + "\\Maps";
    const auto native = Platform::ToNativePath(maps);
    // The editor's picture filter, on the Maps folder.
    FileOpenRequest request{"Select map file",
                            "Graphics Files (*.bmp,*.gig,*.jpg)|*.bmp;*.gif;*.jpg",
                            native ? QString::fromStdString(*native) : QString()};
    const auto picked = ShowFileOpen(this, request);
    if (!picked) return;
    const auto image = native ? NameInFolder(*native, *picked) : std::nullopt;
    if (!image) {
        MsgBox("The picture " + *picked + " does not lie in the Maps folder " + FromCore(maps) +
                   ". A definition names a picture beside it; copy the picture there first "
                   "(nothing was copied).",
               vbExclamation, "New Inf file");
        return;
    }
    if (const std::string why = MapCode::ImageNameProblem(*image); !why.empty()) {
        MsgBox("The picture \"" + FromCore(*image) + "\" cannot be named in a map definition: " +
                   FromCore(why) + ". Rename the picture first (no definition was made).",
               vbExclamation, "New Inf file");
        return;
    }
    const std::size_t dot = image->rfind('.');
    const std::string infName = image->substr(0, dot) + ".inf";
    std::string why;
    const auto corners = frmInfEdit::WorldFileCorners(maps + "\\" + *image, why);
    if (!corners && !MapCode::FindWorldFile(maps + "\\" + *image).empty())
        MsgBox(FromCore(why), vbExclamation, "World File"); // there is one, but it cannot be used

    frmInfEdit& editor = frmInfEdit::Instance();
    editor.setNewDefinition(maps + "\\" + infName, *image,
                            corners.value_or(std::array<std::string, 4>{}));
    bool saved = false;
    connect(&editor, &frmInfEdit::Saved, this, [&saved] { saved = true; });
    editor.ShowModal(nullptr);
    if (!saved) return;
    SelectDefinition(infName); // the new node in its place, selected and shown
}
