#include "ui/frmFindMaps.h"

#include "georef/Georef.h"
#include "ui/CoreText.h"
#include "ui/Pictures.h"
#include "ui/Placement.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A figure as the status texts write them: three figures at most, whole from 100 on.
QString Figure(double value) {
    return QString::number(value, 'f', value < 10 ? 2 : value < 100 ? 1 : 0);
}

// The core's reason, as a sentence of its own.
QString Sentence(const QString& reason) {
    return reason.isEmpty() ? reason : reason.left(1).toUpper() + reason.mid(1) + ".";
}

// Why a text is not a place, and the forms a place is typed in when the reason does not say.
QString Refusal(const Grids::Place& place) {
    const std::string forms = Grids::PlaceForms();
    QString line = Sentence(QString::fromStdString(place.error));
    if (place.error.find(forms) == std::string::npos)
        line += "\nType " + QString::fromStdString(forms) + ".";
    return line;
}

} // namespace

frmFindMaps::frmFindMaps() {
    setObjectName("frmFindMaps");
    setWindowIcon(ProgramIcon());
    auto* label = new QLabel("&Place:", this);
    txtPlace = new QLineEdit(this);
    txtPlace->setObjectName("txtPlace");
    txtPlace->setPlaceholderText("51.30.25N,000.07.66W  or  51.5072, -0.1276  or  TQ 290 800");
    label->setBuddy(txtPlace);
    lblReading = new QLabel(this);
    lblReading->setObjectName("lblReading");
    lblReading->setWordWrap(true);
    lblReading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lstMaps = new QTreeWidget(this);
    lstMaps->setObjectName("lstMaps");
    lstMaps->setHeaderLabels({"Map", "Scale", "Extent"});
    lstMaps->setRootIsDecorated(false);
    lstMaps->setUniformRowHeights(true); // thousands of rows stay quick
    lstMaps->setAllColumnsShowFocus(true);
    lstMaps->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lstMaps->header()->setStretchLastSection(false);
    lstMaps->setAccessibleName("Maps covering the place, best fit first");

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(txtPlace, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(lblReading);
    layout->addWidget(lstMaps, 1);

    connect(txtPlace, &QLineEdit::textChanged, this, [this] { txtPlace_Change(); });
    connect(lstMaps, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!filling_) Choose(lstMaps->selectedItems().value(0));
    });
    connect(lstMaps, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* r) { Choose(r); });
    connect(lstMaps, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* r) { Choose(r); });
    // By keyboard: the place, then the maps; Esc closes.
    txtPlace->setAccessibleName("Place");
    setTabOrder(txtPlace, lstMaps);
    EscapeCloses = true;

    Define("Find Maps", Border::Sizable, StartUp::SystemDefault, 6600, 5000, true, false);
    setAccessibleDescription("Which maps of the library show a place; choosing a map shows it "
                             "with the place marked");
    txtPlace_Change();
}

frmFindMaps::~frmFindMaps() = default;

void frmFindMaps::Attach(const Library::MapLibrary& library, const Library::PlaceIndex& places) {
    if (library_ == &library) return;
    library_ = &library;
    index_ = &places;
    datum_ = Georef::LibraryDatum();
    // Many changes at once (a folder read again, a copy of many files) are one new list.
    auto refresh = [this] {
        if (refreshDue_) return;
        refreshDue_ = true;
        QTimer::singleShot(0, this, [this] {
            refreshDue_ = false;
            txtPlace_Change();
        });
    };
    connect(&library, &Library::MapLibrary::Reset, this, refresh);
    connect(&library, &Library::MapLibrary::Added, this, refresh);
    connect(&library, &Library::MapLibrary::Changed, this, refresh);
    connect(&library, &Library::MapLibrary::Removed, this, refresh);
    txtPlace_Change();
}

void frmFindMaps::txtPlace_Change() {
    place_ = Grids::ReadPlace(txtPlace->text().toStdString(), datum_);
    QString line =
        place_.ok ? QString::fromStdString(Grids::DescribePlace(place_, datum_)) : Refusal(place_);
    // Minutes of arc in single precision, as the corners it is compared with are held.
    const float latitude = float(place_.latitude * 60), longitude = float(place_.longitude * 60);
    const QTreeWidgetItem* chosen = lstMaps->selectedItems().value(0);
    const QString kept = chosen ? chosen->text(0) : QString();
    filling_ = true;
    lstMaps->clear();
    if (place_.ok && index_) {
        const std::vector<int> found = index_->Covering(latitude, longitude);
        QList<QTreeWidgetItem*> rows;
        rows.reserve(qsizetype(found.size()));
        for (const int i : found) {
            const Library::Entry& e = library_->Probed(i);            // its scale and state shown
            const MapCode::Georeference placed = e.Corners().value(); // found by its corners
            const double scale = placed.MetresPerPixel(latitude);
            const auto [across, down] = placed.ExtentKm(latitude);
            auto* r = new QTreeWidgetItem({FromCore(e.name),
                                           scale > 0 ? Figure(scale) + " m/pixel" : QString(),
                                           Figure(across) + " x " + Figure(down) + " km"});
            r->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            r->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            if (e.state != Library::State::Ok) r->setToolTip(0, Sentence(FromCore(e.reason)));
            rows.push_back(r);
        }
        lstMaps->addTopLevelItems(rows);
        if (rows.isEmpty()) line += "\nNo map of the library covers this place.";
        for (QTreeWidgetItem* r : std::as_const(rows))
            if (r->text(0) == kept) lstMaps->setCurrentItem(r);
    }
    filling_ = false;
    lblReading->setText(line);
}

QString frmFindMaps::ChosenMap() const {
    const QTreeWidgetItem* chosen = lstMaps->selectedItems().value(0);
    return chosen ? chosen->text(0) : QString();
}

void frmFindMaps::Restore(const QString& place, const QString& chosenMap) {
    txtPlace->setText(place); // the list follows
    filling_ = true;
    for (int i = 0; i < lstMaps->topLevelItemCount(); ++i)
        if (lstMaps->topLevelItem(i)->text(0) == chosenMap)
            lstMaps->setCurrentItem(lstMaps->topLevelItem(i));
    filling_ = false;
}

void frmFindMaps::Choose(QTreeWidgetItem* row) {
    if (row && place_.ok)
        emit MapChosen(row->text(0), float(place_.latitude * 60), float(place_.longitude * 60));
}

void frmFindMaps::Form_Load() {
    RestorePlacement(*this, "FindMaps", QRectF(2000, 2000, 6800, 5600));
}

void frmFindMaps::Form_Unload(std::int16_t& Cancel) {
    (void)Cancel;
    if (!Minimized()) SavePlacement(*this, "FindMaps");
}
