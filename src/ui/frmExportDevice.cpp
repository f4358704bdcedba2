#include "ui/frmExportDevice.h"

#include "grids/Grids.h"
#include "library/AreaMaps.h"
#include "platform/MemoryBound.h"
#include "ui/CoreText.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/Pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <filesystem>

namespace {

using Format = Georef::ExportFormat;

struct Offer {
    Format format;
    const char* caption;
    const char* filter;
};
constexpr Offer kOffers[] = {
    {Format::MbTiles, "MBTiles (phone map apps)", "MBTiles|*.mbtiles"},
    {Format::GeoPackage, "GeoPackage (phone map apps, GIS)", "GeoPackage|*.gpkg"},
    {Format::Pdf, "Georeferenced PDF (phone or paper)", "Georeferenced PDF|*.pdf"},
    {Format::GarminKmz, "KMZ of tiles (handheld GPS units)", "KMZ of tiles|*.kmz"},
};

QString Shown(const std::string& native) {
    return QDir::toNativeSeparators(QString::fromStdString(Georef::Printable(native)));
}

} // namespace

frmExportDevice::frmExportDevice() {
    setObjectName("frmExportDevice");
    setWindowTitle("Export for Devices");
    setWindowIcon(ProgramIcon());
    cboFormat = new QComboBox(this);
    cboFormat->setObjectName("cboFormat");
    for (const Offer& o : kOffers) cboFormat->addItem(o.caption);
    optMap = new QRadioButton("The selected &map", this);
    optView = new QRadioButton("The &view's extent, every map in it", this);
    optPlace = new QRadioButton("Around a &place, every map there:", this);
    txtPlace = new QLineEdit(this);
    txtPlace->setPlaceholderText("51.30.25N,000.07.66W  or  TQ 290 800");
    txtRadius = new QDoubleSpinBox(this);
    txtRadius->setRange(0.1, 1000);
    txtRadius->setValue(5);
    txtRadius->setSuffix(" km");
    txtQuality = new QSpinBox(this);
    txtQuality->setRange(1, 100);
    txtQuality->setValue(85);
    txtMaxTiles = new QSpinBox(this);
    txtMaxTiles->setRange(1, 100000);
    txtMaxTiles->setValue(100);
    txtDpi = new QSpinBox(this);
    txtDpi->setRange(0, 100000);
    txtDpi->setSpecialValueText("Longer side 200 inches at most");
    txtResolution = new QDoubleSpinBox(this);
    txtResolution->setRange(0, 1e6);
    txtResolution->setSpecialValueText("The finest map's");
    txtResolution->setSuffix(" m a pixel");
    prgExport = new QProgressBar(this);
    prgExport->setRange(0, 1000);
    lblStatus = new QLabel(this);
    lblStatus->setWordWrap(true);
    cmdExport = new QPushButton("&Export...", this);
    cmdCancel = new QPushButton("Cancel", this);
    optMap->setObjectName("optMap");
    optView->setObjectName("optView");
    optPlace->setObjectName("optPlace");
    txtPlace->setObjectName("txtPlace");
    cmdExport->setObjectName("cmdExport");
    cmdCancel->setObjectName("cmdCancel");

    Arrange();
    connect(cboFormat, &QComboBox::currentIndexChanged, this, [this] { cboFormat_Click(); });
    for (QRadioButton* o : {optMap, optView, optPlace})
        connect(o, &QRadioButton::toggled, this, [this] { cboFormat_Click(); });
    connect(cmdExport, &QPushButton::clicked, this, [this] { cmdExport_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(this, &frmExportDevice::Progressed, prgExport, &QProgressBar::setValue);
}

void frmExportDevice::Arrange() {
    auto* form = new QFormLayout;
    form->addRow("&Format:", cboFormat);
    form->addRow(optMap);
    form->addRow(optView);
    form->addRow(optPlace);
    auto* around = new QHBoxLayout;
    around->addWidget(txtPlace, 1);
    around->addWidget(txtRadius);
    form->addRow(around);
    form->addRow("JPEG &quality:", txtQuality);
    form->addRow("&Tiles at most:", txtMaxTiles);
    form->addRow("&Dots per inch:", txtDpi);
    form->addRow("&Resolution:", txtResolution);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(prgExport);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);
}

frmExportDevice::~frmExportDevice() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

void frmExportDevice::Attach(const Library::MapLibrary& library, const std::string& selectedMap,
                             std::optional<Georef::Area> view) {
    library_ = &library;
    selected_ = selectedMap;
    view_ = view;
    optMap->setEnabled(!selected_.empty());
    optMap->setText(selected_.empty() ? "The selected map (none is selected)"
                                      : "The selected &map, " + FromCore(selected_));
    optView->setEnabled(view_.has_value());
    (selected_.empty() ? (view_ ? optView : optPlace) : optMap)->setChecked(true);
    cboFormat_Click();
}

void frmExportDevice::cboFormat_Click() {
    const Format format = kOffers[std::max(0, cboFormat->currentIndex())].format;
    const bool idle = !Running(), area = !optMap->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{cboFormat, optMap, optView, optPlace})
        w->setEnabled(idle && (w != optMap || !selected_.empty()) && (w != optView || view_));
    txtPlace->setEnabled(idle && optPlace->isChecked());
    txtRadius->setEnabled(idle && optPlace->isChecked());
    txtQuality->setEnabled(idle);
    txtMaxTiles->setEnabled(idle && format == Format::GarminKmz);
    txtDpi->setEnabled(idle && format == Format::Pdf);
    txtResolution->setEnabled(idle && area);
    cmdExport->setEnabled(idle);
    cmdCancel->setText(idle ? "Close" : "Cancel");
}

// The export the window describes, without its destination; nothing after saying why not.
std::optional<Georef::ExportRequest> frmExportDevice::Request() {
    const Offer& offer = kOffers[std::max(0, cboFormat->currentIndex())];
    const MapCode::Georeference none(0, 1, 1, 0, 1, 1);
    Georef::ExportRequest r{
        .name = {}, .picture = {}, .georeference = none, .format = offer.format, .outFolder = {}};
    r.datum = Georef::LibraryDatum();
    r.quality = txtQuality->value();
    r.maxTiles = txtMaxTiles->value();
    r.dpi = txtDpi->value();
    r.memoryLimit = Platform::PictureMemoryBound();
    if (optMap->isChecked()) {
        const int i = library_ ? library_->IndexOf(selected_) : -1;
        const Library::Entry* e = i >= 0 ? &library_->Probed(i) : nullptr;
        const auto g = e ? e->Georeference() : std::nullopt;
        if (!g || !e->NamesPicture()) {
            MsgBox("The map " + FromCore(selected_) + " cannot be placed.", vbExclamation,
                   windowTitle());
            return std::nullopt;
        }
        r.name = e->name, r.picture = e->pictureNative, r.georeference = *g;
        return r;
    }
    if (optView->isChecked() && view_) r.area = *view_;
    if (optPlace->isChecked()) {
        const Grids::Place p = Grids::ReadPlace(txtPlace->text().toStdString(), r.datum);
        if (!p.ok) {
            MsgBox("The place cannot be read: " + QString::fromStdString(p.error) + ".",
                   vbExclamation, windowTitle());
            return std::nullopt;
        }
        r.area = Georef::AroundPlace(p.latitude, p.longitude, txtRadius->value(), r.datum);
    }
    r.resolution = txtResolution->value();
    for (int i : Library::Covering(*library_, r.area)) {
        const Library::Entry& e = library_->Entries()[std::size_t(i)];
        r.areaMaps.push_back({e.name, e.pictureNative, *e.Georeference()});
    }
    if (r.areaMaps.empty()) {
        MsgBox("No map of the library covers the area.", vbExclamation, windowTitle());
        return std::nullopt;
    }
    r.name = "area";
    return r;
}

void frmExportDevice::cmdExport_Click() {
    if (Running() || !library_) return;
    auto request = Request();
    if (!request) return;
    const Offer& offer = kOffers[std::max(0, cboFormat->currentIndex())];
    const QString extension = QString::fromStdString(Georef::ExportExtension(offer.format));
    const QString stem = QFileInfo(FromCore(request->name)).completeBaseName();
    const auto chosen =
        ShowFileSave(this, {windowTitle(), offer.filter,
                            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                            stem + extension});
    if (!chosen || chosen->isEmpty()) return;
    const QFileInfo file(*chosen);
    request->outFolder = QDir::toNativeSeparators(file.absolutePath()).toStdString();
    request->outStem = file.fileName().toStdString();
    if (request->areaMaps.size()) request->name = file.completeBaseName().toStdString();
    const std::string target = Georef::ExportTargets(*request)[0];
    std::error_code ec;
    if (std::filesystem::symlink_status(target, ec).type() !=
        std::filesystem::file_type::not_found) {
        if (MsgBox("The file " + Shown(target) + " exists already. Replace it?",
                   vbQuestion + vbYesNo + vbDefaultButton2, windowTitle()) != vbYes)
            return;
        request->replace = true;
    }
    Start(std::move(*request));
}

void frmExportDevice::Start(Georef::ExportRequest request) {
    cancel_ = false;
    prgExport->setValue(0);
    lblStatus->setText("Exporting...");
    request.progress = [this](double done) {
        emit Progressed(int(done * 1000)); // queued: the signal crosses threads
        return !cancel_;
    };
    worker_ = std::thread([this, request = std::move(request)] {
        QString status, failure;
        try {
            const auto result = Georef::ExportFiles(request);
            status = "Saved " + Shown(result.paths[0]) + ".";
            if (result.reduction < 1)
                status += " Reduced to " + QString::number(result.reduction, 'g', 3) +
                          " of its size each way to fit " + QString::number(request.maxTiles) +
                          " tiles.";
        } catch (const Georef::Error& e) {
            if (e.kind() == Georef::Error::Kind::Cancelled)
                status = "The export was cancelled; nothing was written.";
            else
                failure = QString::fromStdString(e.what());
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, status, failure] { End(status, failure); }, Qt::QueuedConnection);
    });
    cboFormat_Click();
}

void frmExportDevice::End(const QString& status, const QString& failure) {
    if (worker_.joinable()) worker_.join();
    lblStatus->setText(failure.isEmpty() ? status : "The export failed.");
    cboFormat_Click();
    if (!failure.isEmpty()) MsgBox(failure, vbExclamation, windowTitle());
    emit Finished();
}

void frmExportDevice::cmdCancel_Click() {
    if (Running())
        cancel_ = true;
    else
        Unload();
}

void frmExportDevice::Form_Unload(std::int16_t& Cancel) {
    (void)Cancel;
    // Closing stops the export, which leaves nothing behind.
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}
