// The details of the selected map: eight lines, the picture and the status text.
#include "app/StartupCode.h"
#include "mapdef/MapCode.h"
#include "ui/MapPicture.h"
#include "ui/CoreText.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

#include <cmath>

namespace {

// A distance in kilometres cut to whole kilometres.
QString WholeKm(float km) {
    if (!std::isfinite(km)) return "?";
    return QString::number(static_cast<long long>(std::floor(km)));
}

} // namespace

void frmMain::DirTree_Click() {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    // Nothing selected, the root or the drive node: the details stay as they are.
    if (!IsFileNode(node)) return;
    sbStatusBar->SetPanelText(1, "Loading Details....");
    if (frmCoverage::Loaded()) frmCoverage::Instance().picCanvas->SetSelected(node->text(0));

    const std::string folder = NodeFolder(node);
    const std::string name = ToCore(node->text(0));
    float tlLon = 0, tlLat = 0, brLon = 0, brLat = 0;
    std::string image, tlText, brText, fileError;
    MapCode::ReadMapDefinition(folder + "\\", folder + "\\" + name, tlLon, tlLat, brLon, brLat,
                               image, tlText, brText, &fileError);

    // A definition or picture that cannot be shown is cleared, never left from the previous
    // map, and the user is told which file and why in the view and the status bar.
    QString problem;
    if (!fileError.empty()) {
        problem = "The map definition " + FromCore(folder + "\\" + name) +
                  " cannot be read: " + FromCore(fileError) + ".";
        DirTree->SetImage(node, "FileX"); // it may have been readable when the tree was filled
    }
    bool shown = false;
    if (!image.empty()) {
        try {
            shown = MapCode::LoadMapPicture(folder, name);
            if (!shown) {
                // The picture's definition is looked up with ".inf" on its name.
                const bool hasInf =
                    name.size() >= 4 && Platform::Upper(name.substr(name.size() - 4)) == ".INF";
                problem = "The map picture of " + FromCore(name) +
                          " could not be loaded: the definition " +
                          FromCore(folder + "\\" + name + (hasInf ? "" : ".inf")) +
                          " could not be read.";
            }
        } catch (const std::exception& e) {
            problem = "The map picture " + FromCore(folder + "\\" + image) +
                      " could not be loaded: " + FromCore(e.what()) + ".";
        }
    }
    if (!shown) {
        // Cleared and shrunk, so the empty view shows the reason and scrolls nothing.
        MapViewer->ClearPicture();
        picInner->ScaleToTwips();
        Twips::Move(picInner, Twips::Left(picInner), Twips::Top(picInner), 0, 0);
    }
    picOuter->setEmptyText(problem);
    MapViewer->PictureChanged(); // a fitted view fits the new picture
    try {
        SetScrollRanges();
    } catch (...) {
        // A picture too large for the bars leaves their last ranges; it is still shown.
    }

    lstDetails->clear();
    // Each half under its own label: a corner written longitude first is shown latitude first,
    // as the reader takes it.
    auto halves = [](const std::string& text) {
        const std::size_t comma = text.find(',');
        if (comma == std::string::npos) return std::pair<QString, QString>(FromCore(text), {});
        std::string first = text.substr(0, comma), second = text.substr(comma + 1);
        auto latitude = [](const std::string& t) {
            return !t.empty() && (t.back() == 'N' || t.back() == 'S');
        };
        if (!latitude(first) && latitude(second)) std::swap(first, second);
        return std::pair(FromCore(first), FromCore(second));
    };
    const auto [tlFirst, tlSecond] = halves(tlText);
    const auto [brFirst, brSecond] = halves(brText);
    lstDetails->addItem("Map Pathname " + FromCore(folder));
    lstDetails->addItem("Map Filename " + FromCore(image));
    lstDetails->addItem("Top Left Lattitude " + tlFirst);
    lstDetails->addItem("Top Left Longitude " + tlSecond);
    lstDetails->addItem("Bottom Right Lattitude " + brFirst);
    lstDetails->addItem("Bottom Right Longitude " + brSecond);

    const double tlLatDeg = tlLat / 60.0, tlLonDeg = tlLon / 60.0;
    const double brLatDeg = brLat / 60.0, brLonDeg = brLon / 60.0;
    float bearing = 0;
    const float W = MapCode::GetDistance(tlLatDeg, tlLonDeg, tlLatDeg, brLonDeg, bearing);
    lstDetails->addItem("Map width " + WholeKm(W) + " Km");
    const float H = MapCode::GetDistance(tlLatDeg, tlLonDeg, brLatDeg, tlLonDeg, bearing);
    lstDetails->addItem("Map height " + WholeKm(H) + " Km");

    // A picture shown reduced says so.
    if (problem.isEmpty() && shown) problem = MapViewer->PictureNote();
    sbStatusBar->SetPanelText(1, problem.isEmpty() ? QString("Ready") : problem);
}
