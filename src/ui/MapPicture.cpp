#include "ui/MapPicture.h"

#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "platform/CoreError.h"
#include "platform/Text.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

namespace MapCode {

bool LoadMapPicture(const std::string& folder, const std::string& fileName) {
    std::string name = fileName;
    if (name.size() < 4 || Platform::Upper(name.substr(name.size() - 4)) != ".INF") name += ".inf";
    float tlLon = 0, tlLat = 0, brLon = 0, brLat = 0;
    std::string image, tl, br;
    if (!ReadMapDefinition(folder, folder + "\\" + name, tlLon, tlLat, brLon, brLat, image, tl, br))
        return false;
    if (image.empty()) return false; // the folder itself is no picture
    if (!StartupCode::MainWindow) throw CoreError(ErrorKind::InvalidArgument, "no main window");
    // The part in view at once, the rest as it is decoded.
    StartupCode::MainWindow->MapViewer->ShowPicture(folder + "\\" + image);
    StartupCode::MainWindow->picInner->Scale(tlLon, tlLat, brLon, brLat);
    return true;
}

} // namespace MapCode
