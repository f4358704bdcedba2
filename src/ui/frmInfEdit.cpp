#include "ui/frmInfEdit.h"

#include "georef/Georef.h"
#include "mapdef/MapCode.h"
#include "mapdef/Numbers.h"
#include "picture/PictureHeader.h"
#include "platform/CoreError.h"
#include "ui/Accessibility.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/Pictures.h"

#include <QKeyEvent>
#include <cmath>

namespace {

// The corners' headings and boxes, the picture's box and the buttons, at their places.
void MakeControls(frmInfEdit& f) {
    auto label = [&f](const char* name, const QString& caption, float l, float t, float w, float h,
                      int tab) { return Control<QLabel>(&f, name, l, t, w, h, tab, caption); };
    auto box = [&f](const char* name, float l, float t, float w, float h, int tab) {
        return Control<QLineEdit>(&f, name, l, t, w, h, tab);
    };
    auto button = [&f](const char* name, const QString& caption, float l, float t, float w, float h,
                       int tab) {
        return Control<QPushButton>(&f, name, l, t, w, h, tab, caption);
    };
    f.Label2 = label("Label2", "Lattitude", 1290, 150, 855, 315, 5);
    f.Label3 = label("Label3", "Longitude", 2550, 180, 825, 315, 6);
    f.Label4 = label("Label4", "Top Left", 180, 510, 975, 285, 7);
    f.txtTLLat = box("txtTLLat", 1260, 510, 1215, 315, 9);
    f.txtTLLon = box("txtTLLon", 2550, 510, 1215, 315, 11);
    f.Label5 = label("Label5", "Bottom Right", 150, 870, 975, 315, 8);
    f.txtBRLat = box("txtBRLat", 1260, 900, 1215, 315, 10);
    f.txtBRLon = box("txtBRLon", 2550, 900, 1215, 315, 12);
    f.Label1 = label("Label1", "Map Image File", 90, 1350, 1155, 285, 3);
    f.txtFilename = box("txtFilename", 1260, 1350, 2895, 285, 2);
    f.cmdBrowse = button("cmdBrowse", "Browse", 4260, 1350, 705, 285, 4);
    f.cmdOk = button("cmdOk", "&Save", 3300, 1950, 825, 345, 0);
    f.cmdCancel = button("cmdCancel", "&Cancel", 4320, 1950, 825, 345, 1);
    f.cmdWorldFile = button("cmdWorldFile", "&World File", 180, 1950, 1095, 345, 13);

    f.lblFormat = label("lblFormat",
                        "degrees.minutes.hundredths of a minute, such as 51.30.25N; or a grid "
                        "reference such as TQ 290 800",
                        180, 2430, 5145, 420, -1);
    f.lblFormat->setWordWrap(true);
    // The corners are latitudes and longitudes or National Grid references alone.
    const QString otherGrids = "A map in another grid (Irish Grid, Irish Transverse Mercator, UTM, "
                               "MGRS) is placed with Tools > Calibrate Map.";
    for (QWidget* w : std::initializer_list<QWidget*>{f.lblFormat, f.txtTLLat, f.txtTLLon,
                                                      f.txtBRLat, f.txtBRLon})
        w->setToolTip(otherGrids);
    f.lblTopLeftReading = label("lblTopLeftReading", QString(), 180, 2880, 5145, 240, -1);
    f.lblBottomRightReading = label("lblBottomRightReading", QString(), 180, 3120, 5145, 240, -1);
    for (QLabel* l : {f.lblFormat, f.lblTopLeftReading, f.lblBottomRightReading})
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

// Each box is named by its row's and its column's headings, and linked to them.
void NameBoxes(frmInfEdit& f) {
    const std::pair<QLineEdit*, std::pair<QLabel*, QLabel*>> grid[] = {
        {f.txtTLLat, {f.Label4, f.Label2}},
        {f.txtTLLon, {f.Label4, f.Label3}},
        {f.txtBRLat, {f.Label5, f.Label2}},
        {f.txtBRLon, {f.Label5, f.Label3}},
    };
    for (const auto& [box, labels] : grid)
        box->setAccessibleName(labels.first->text() + " " + labels.second->text());
    f.Label4->setBuddy(f.txtTLLat);
    f.Label5->setBuddy(f.txtBRLat);
    f.Label2->setBuddy(f.txtTLLat);
    f.Label3->setBuddy(f.txtTLLon);
    f.Label1->setBuddy(f.txtFilename);
}

} // namespace

frmInfEdit::frmInfEdit() {
    setObjectName("frmInfEdit");
    setWindowIcon(ProgramIcon());
    MakeControls(*this);
    DefaultButton =
        cmdCancel; // Enter cancels unless another button has the focus; Esc does nothing
    auto readings = [this] {
        ShowReading(lblTopLeftReading, Label4, txtTLLat, txtTLLon);
        ShowReading(lblBottomRightReading, Label5, txtBRLat, txtBRLon);
    };
    for (QLineEdit* box : {txtTLLat, txtTLLon, txtBRLat, txtBRLon})
        connect(box, &QLineEdit::textChanged, this, readings);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(10);
    CommonDialog1.DialogTitle = "Select map file";
    CommonDialog1.Filter = "Graphics Files (*.bmp,*.gig,*.jpg)|*.bmp;*.gif;*.jpg";

    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdWorldFile, &QPushButton::clicked, this, [this] { cmdWorldFile_Click(); });

    // The window grows below its controls to hold the format and the readings.
    Define("Inf File Editor", Border::Sizable, StartUp::SystemDefault, 5505, 3450, true, true);
    ApplyTabOrder(this);
    NameBoxes(*this);
    setAccessibleDescription("The corners and the picture of a map definition");
}

void frmInfEdit::Form_Load() {
    // The file is read once the window is on screen.
    Timer1->start();
}

void frmInfEdit::setNewDefinition(const std::string& path, const std::string& imageName,
                                  const std::array<std::string, 4>& corners) {
    infPath_ = path;
    newDefinition_ = NewDefinition{imageName, corners};
}

void frmInfEdit::Timer1_Timer() {
    Timer1->stop();
    folder_ = MapCode::FolderFromPath(infPath_);
    name_ = MapCode::FileFromPath(infPath_);
    setAccessibleDescription("The corners and the picture of the map definition " +
                             FromCore(infPath_));
    if (!newDefinition_) {
        LoadFile();
        return;
    }
    comments_ = {};
    loaded_ = Platform::TakeSnapshot(infPath_, MapCode::kMaxDefinitionBytes);
    QLineEdit* boxes[] = {txtTLLat, txtTLLon, txtBRLat, txtBRLon};
    for (int i = 0; i < 4; ++i)
        boxes[i]->setText(FromCore(newDefinition_->corners[std::size_t(i)]));
    txtFilename->setText(FromCore(newDefinition_->image));
    KeepLoadedTexts();
}

void frmInfEdit::KeepLoadedTexts() {
    for (std::size_t i = 0; i < loadedTexts_.size(); ++i) loadedTexts_[i] = Boxes()[i]->text();
}

bool frmInfEdit::Edited() const {
    for (std::size_t i = 0; i < loadedTexts_.size(); ++i)
        if (Boxes()[i]->text() != loadedTexts_[i]) return true;
    return false;
}

std::array<QString, 2> frmInfEdit::CornerReading(const QString& latitude,
                                                 const QString& longitude) {
    auto ok = [](const std::string& r) { return r == "True" || r == "Ok"; };
    // A checked text (such as 51.05.00N) as degrees and minutes.
    auto read = [](const std::string& text) -> QString {
        const std::string t = MapCode::TrimSpaces(text);
        if (t.empty()) return {};
        const long hundredths = std::lround(std::abs(double(MapCode::CoordToMinutes(t))) * 100);
        return QString("%1° %2′ %3")
            .arg(hundredths / 6000)
            .arg(double(hundredths % 6000) / 100, 5, 'f', 2, QChar('0'))
            .arg(QChar(t.back()));
    };
    // The save's own checks, in its order, on copies of the texts.
    const std::string typedLat = ToCore(latitude), typedLon = ToCore(longitude);
    std::string lat = typedLat, lon = typedLon;
    const bool latOk = ok(MapCode::ValidatePosition(lat, lon, false));
    if (!latOk) lat = typedLat, lon = typedLon; // the longitude is then read by itself
    const bool lonOk = ok(MapCode::ValidatePosition(lon, lat, true));
    try {
        return {latOk ? read(lat) : QString("(not a latitude)"),
                lonOk ? read(lon) : QString("(not a longitude)")};
    } catch (const std::exception&) {
        return {QString("(not a latitude)"), QString("(not a longitude)")};
    }
}

void frmInfEdit::ShowReading(QLabel* reading, QLabel* heading, QLineEdit* latitude,
                             QLineEdit* longitude) {
    const auto [lat, lon] = CornerReading(latitude->text(), longitude->text());
    latitude->setAccessibleDescription(lat.isEmpty() ? QString() : "Read as " + lat);
    longitude->setAccessibleDescription(lon.isEmpty() ? QString() : "Read as " + lon);
    if (lat.isEmpty() && lon.isEmpty())
        reading->clear();
    else
        reading->setText(heading->text() + " read as " + (lat.isEmpty() ? "(empty)" : lat) + ", " +
                         (lon.isEmpty() ? "(empty)" : lon));
}

void frmInfEdit::keyPressEvent(QKeyEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(focusWidget());
    if (IsEnter(event) && box && DefaultButton == cmdCancel && Edited() &&
        MsgBox("Discard the changes you have typed?", vbQuestion + vbYesNo + vbDefaultButton2,
               windowTitle()) != vbYes) {
        box->setFocus();
        return;
    }
    Form::keyPressEvent(event);
}

std::optional<std::array<std::string, 4>> frmInfEdit::WorldFileCorners(const std::string& imagePath,
                                                                       std::string& why) {
    try {
        const std::string world = MapCode::FindWorldFile(imagePath);
        if (world.empty()) {
            why = "There is no world file beside " + imagePath + ".";
            return std::nullopt;
        }
        // The world file counts the picture's pixels: its header says how many.
        const Picture::Probe picture = Picture::ProbeFile(imagePath);
        if (picture.fault != Picture::Probe::Fault::None)
            throw CoreError(ErrorKind::FileError, picture.error);
        return MapCode::CornerTexts(Georef::WorldFileCorners(
            imagePath, int(picture.info.width), int(picture.info.height), Georef::LibraryDatum()));
    } catch (const std::exception& e) {
        why = e.what();
        if (why.rfind("The world file", 0) != 0)
            why = "The world file of " + imagePath + " cannot be used: " + why + ".";
        return std::nullopt;
    }
}

void frmInfEdit::cmdWorldFile_Click() {
    std::string why;
    const auto corners = WorldFileCorners(folder_ + "\\" + ToCore(txtFilename->text()), why);
    if (!corners) {
        MsgBox(FromCore(why), vbExclamation, "World File");
        return;
    }
    QLineEdit* boxes[] = {txtTLLat, txtTLLon, txtBRLat, txtBRLon};
    for (int i = 0; i < 4; ++i) boxes[i]->setText(FromCore((*corners)[std::size_t(i)]));
}

bool frmInfEdit::LoadFile() {
    comments_ = {};
    // Taken before the boxes are filled: a change in between is then seen at the save.
    loaded_ = Platform::TakeSnapshot(infPath_, MapCode::kMaxDefinitionBytes);
    try {
        comments_ =
            MapCode::ReadEditorItems(infPath_, folder_, [&](int index, const std::string& item) {
                // each box as soon as its item is read
                Boxes()[std::size_t(index)]->setText(FromCore(item));
            });
        KeepLoadedTexts();
        return true;
    } catch (const std::exception& e) {
        KeepLoadedTexts();
        MsgBox("Error in ERROR_Timer1_Timer : " + FromCore(e.what()) + ": " + FromCore(infPath_),
               vbOKOnly, kAppTitle);
        return false;
    }
}

bool frmInfEdit::StillTheLoadedFile(const std::string& path) {
    if (Platform::TakeSnapshot(path, MapCode::kMaxDefinitionBytes) == loaded_) return true;
    const int answer = MsgBox(
        "The map definition file " + FromCore(path) +
            " has been changed by another program since it was opened.\n\nYes: overwrite it "
            "with what is shown here.\nNo: reload it, losing the edits made here.\nCancel: go "
            "back to editing.",
        vbExclamation + vbYesNoCancel + vbDefaultButton3, "File Changed");
    if (answer == vbYes) return true;
    if (answer == vbNo) LoadFile();
    return false;
}

void frmInfEdit::cmdBrowse_Click() {
    try {
        FileOpenRequest request{CommonDialog1.DialogTitle, CommonDialog1.Filter};
        const auto picked = ShowFileOpen(this, request);
        if (!picked) return; // cancelled: nothing changes
        CommonDialog1.FileName = *picked;
        // Only the name is kept: the image is expected beside the definition.
        QString name = *picked;
        const int slash = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
        txtFilename->setText(slash >= 0 ? name.mid(slash + 1) : name);
    } catch (const std::exception& e) {
        MsgBox("Error in ERROR_cmdBrowse_Click : " + QString::fromStdString(e.what()), vbOKOnly,
               kAppTitle);
    }
}

bool frmInfEdit::CheckCorner(QLineEdit* latitude, QLineEdit* longitude, const QString& message) {
    std::string lat = ToCore(latitude->text()), lon = ToCore(longitude->text());
    // Both boxes are checked (a grid reference in either fills the corner), and a corner needs
    // both: an empty box would be saved as a line the program cannot read back.
    auto ok = [](const std::string& r) { return r == "True" || r == "Ok"; };
    bool good = ok(MapCode::ValidatePosition(lat, lon, false));
    if (good) good = ok(MapCode::ValidatePosition(lon, lat, true));
    latitude->setText(FromCore(lat));
    longitude->setText(FromCore(lon));
    if (good) good = !MapCode::TrimSpaces(lat).empty() && !MapCode::TrimSpaces(lon).empty();
    if (!good) MsgBox(message, vbExclamation, "Position Error");
    return good;
}

void frmInfEdit::cmdOk_Click() {
    if (!CheckCorner(txtTLLat, txtTLLon,
                     "The position you have entered for the Top Left corner of the map is not a "
                     "valid Latituse or Longitude."))
        return;
    if (!CheckCorner(txtBRLat, txtBRLon,
                     "The position you have entered for the Bottom Right corner of the map is not "
                     "a valid Latituse or Longitude."))
        return;
    if (!MapCode::FileExists(folder_ + "\\" + ToCore(txtFilename->text()))) {
        MsgBox("The filename you have entered for the map does not exist", vbExclamation,
               "Map Filename Error");
        return;
    }
    // A name the definition would not give back is never written.
    if (const std::string why = MapCode::ImageNameProblem(ToCore(txtFilename->text()));
        !why.empty()) {
        MsgBox("The filename you have entered for the map cannot be written into the definition: " +
                   FromCore(why) + ".",
               vbExclamation, "Map Filename Error");
        return;
    }
    const std::string path = folder_ + "\\" + name_;
    // A new definition is asked about only when a file of its name is there already.
    if ((!newDefinition_ || MapCode::FileExists(path)) &&
        MsgBox("Are you sure that you wish to overwrite the exiting map definition file.",
               vbQuestion + vbYesNo, "Overwrite File") != vbYes)
        return;
    if (!StillTheLoadedFile(path)) return;
    try {
        MapCode::WriteMapDefinition(path, ToCore(txtTLLat->text()), ToCore(txtTLLon->text()),
                                    ToCore(txtBRLat->text()), ToCore(txtBRLon->text()),
                                    ToCore(txtFilename->text()), comments_);
    } catch (const std::exception& e) {
        // Nothing was written: the old file stands and the edits stay in the boxes.
        MsgBox("The map definition file " + FromCore(path) +
                   " could not be saved: " + FromCore(e.what()) + ".",
               vbExclamation, "Save Error");
        return;
    }
    emit Saved(FromCore(path));
    Unload();
}

void frmInfEdit::cmdCancel_Click() {
    Unload();
}
