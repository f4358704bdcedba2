#include "mapdef/MapPicture.h"

#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "picture/PictureLoader.h"
#include "platform/CoreError.h"
#include "platform/FileIO.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "platform/WinPath.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

#include <algorithm>

namespace MapCode {

std::uint64_t PictureMemoryLimit() {
    return Picture::MemoryLimit();
}

QImage LoadPicture(const std::string& path) {
    const Picture::Source source = Picture::Open(path);
    if (source.reduction > 1)
        throw CoreError(ErrorKind::FileError, "the picture is too large to decode whole (" +
                                                  Picture::ReducedText(source) + ")");
    Picture::Decoded whole = Picture::Decode(source, QRect(QPoint(), source.size), 1);
    if (whole.image.isNull()) throw CoreError(ErrorKind::FileError, whole.error);
    return whole.image;
}

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
