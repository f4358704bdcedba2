// The details of the selected map: eight lines, the picture and the status text, all from the
// library's entry.
#include "platform/Text.h"
#include "ui/CoreText.h"
#include "ui/MapPicture.h"
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

// Each half of a corner text under its own label: a corner written longitude first is shown
// latitude first, as the reader takes it.
std::pair<QString, QString> Halves(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return {FromCore(text), {}};
    std::string first = text.substr(0, comma), second = text.substr(comma + 1);
    auto latitude = [](const std::string& t) {
        return !t.empty() && (t.back() == 'N' || t.back() == 'S');
    };
    if (!latitude(first) && latitude(second)) std::swap(first, second);
    return {FromCore(first), FromCore(second)};
}

} // namespace

void frmMain::DirTree_Click() {
    QTreeWidgetItem* node = DirTree->SelectedItem();
    // Nothing selected, the root or the drive node: the details stay as they are.
    if (!IsFileNode(node)) return;
    sbStatusBar->SetPanelText(1, "Loading Details....");
    if (frmCoverage::Loaded()) frmCoverage::Instance().picCanvas->SetSelected(node->text(0));

    // The click reads the definition once, through the library, whose entry is then up to date
    // for every view; the details and the picture follow the library's word on it (EntryChanged).
    const QString name = node->text(0);
    if (Maps->Reread(ToCore(name)) >= 0) return; // the node may go with its file
    ClearDetails();
    sbStatusBar->SetPanelText(1, "The map definition " + FromCore(Maps->Folder()) + "\\" + name +
                                     " cannot be read: File not found.");
}

void frmMain::ShowMapPicture(const Library::Entry& entry) {
    MapViewer->ShowPicture(entry.pictureNative, entry.picture);
    MapViewer->SetGeoreference(entry.Georeference());
}

void frmMain::ClearDetails() {
    lstDetails->clear();
    MapViewer->ClearPicture();
    picOuter->setEmptyText({});
    picOuter->setAccessibleDescription({});
    MapViewer->PictureChanged();
    try {
        SetScrollRanges();
    } catch (...) {
    }
}

bool frmMain::ShowEntryPicture(const Library::Entry& entry, QString& problem) {
    const std::string& folder = Maps->Folder();
    // The picture's definition is looked up with ".inf" on its name: for a name without it,
    // another file (mapinf: mapinf.inf).
    const bool hasInf = entry.name.size() >= 4 &&
                        Platform::Upper(entry.name.substr(entry.name.size() - 4)) == ".INF";
    bool shown = false;
    try {
        if (hasInf) {
            ShowMapPicture(entry);
            shown = true;
        } else {
            shown = MapCode::LoadMapPicture(folder, entry.name);
        }
        if (!shown)
            problem = "The map picture of " + FromCore(entry.name) +
                      " could not be loaded: the definition " +
                      FromCore(entry.path + (hasInf ? "" : ".inf")) + " could not be read.";
    } catch (const std::exception& e) {
        problem = "The map picture " + FromCore(folder + "\\" + entry.definition.imageName) +
                  " could not be loaded: " + FromCore(e.what()) + ".";
    }
    return shown;
}

void frmMain::ListDetails(const Library::Entry& entry) {
    const MapCode::MapDefinition& d = entry.definition;
    lstDetails->clear();
    const auto [tlFirst, tlSecond] = Halves(d.topLeftText);
    const auto [brFirst, brSecond] = Halves(d.bottomRightText);
    lstDetails->addItem("Map Pathname " + FromCore(Maps->Folder()));
    lstDetails->addItem("Map Filename " + FromCore(d.imageName));
    lstDetails->addItem("Top Left Lattitude " + tlFirst);
    lstDetails->addItem("Top Left Longitude " + tlSecond);
    lstDetails->addItem("Bottom Right Lattitude " + brFirst);
    lstDetails->addItem("Bottom Right Longitude " + brSecond);

    const double tlLatDeg = d.topLeftLatitude / 60.0, tlLonDeg = d.topLeftLongitude / 60.0;
    const double brLatDeg = d.bottomRightLatitude / 60.0, brLonDeg = d.bottomRightLongitude / 60.0;
    float bearing = 0;
    const float W = MapCode::GetDistance(tlLatDeg, tlLonDeg, tlLatDeg, brLonDeg, bearing);
    lstDetails->addItem("Map width " + WholeKm(W) + " Km");
    const float H = MapCode::GetDistance(tlLatDeg, tlLonDeg, brLatDeg, tlLonDeg, bearing);
    lstDetails->addItem("Map height " + WholeKm(H) + " Km");
}

void frmMain::ShowDetails(const Library::Entry& entry) {
    // A definition or picture that cannot be shown is cleared, never left from the previous
    // map, and the user is told which file and why in the view and the status bar.
    QString problem;
    if (!entry.definition.fileError.empty())
        problem = "The map definition " + FromCore(entry.path) +
                  " cannot be read: " + FromCore(entry.definition.fileError) + ".";
    const bool shown = entry.NamesPicture() && ShowEntryPicture(entry, problem);
    if (!shown) {
        // Cleared and shrunk, so the empty view shows the reason and scrolls nothing.
        MapViewer->ClearPicture();
        picInner->ScaleToTwips();
        Twips::Move(picInner, Twips::Left(picInner), Twips::Top(picInner), 0, 0);
    }
    picOuter->setEmptyText(problem);
    // A screen reader hears which map the picture is, or why it shows none.
    picOuter->setAccessibleDescription(FromCore(entry.name) +
                                       (problem.isEmpty() ? QString() : ": " + problem));
    MapViewer->PictureChanged(); // a fitted view fits the new picture
    try {
        SetScrollRanges();
    } catch (...) {
        // A picture too large for the bars leaves their last ranges; it is still shown.
    }
    ListDetails(entry);

    // A picture shown reduced says so.
    if (problem.isEmpty() && shown) problem = MapViewer->PictureNote();
    sbStatusBar->SetPanelText(1, problem.isEmpty() ? QString("Ready") : problem);
}
