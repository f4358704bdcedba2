#pragma once
// Export for Devices: the selected map, or a seamless map of an area (the view's extent, or a
// place and a radius), as MBTiles, a GeoPackage, a georeferenced PDF or a KMZ of tiles for a
// handheld GPS unit. The options that apply to the format are enabled (JPEG quality; the tile
// limit for the KMZ; dots per inch for the PDF; metres per pixel for an area). Export... asks
// where through the save dialog (and before replacing a file, No the default), then writes in
// the background with a progress bar and Cancel, the program staying usable; a cancel or a
// failure leaves no file.

#include "georef/Georef.h"
#include "library/MapLibrary.h"
#include "ui/Form.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <atomic>
#include <optional>
#include <thread>

class frmExportDevice : public FormOf<frmExportDevice> {
    Q_OBJECT
public:
    frmExportDevice();
    ~frmExportDevice() override;

    QComboBox* cboFormat; // MBTiles, GeoPackage, PDF, KMZ for GPS units
    QRadioButton *optMap, *optView, *optPlace;
    QLineEdit* txtPlace;
    QDoubleSpinBox* txtRadius;                   // kilometres
    QSpinBox *txtQuality, *txtMaxTiles, *txtDpi; // dpi 0: the longer side on 200 inches
    QDoubleSpinBox* txtResolution;               // metres per pixel; 0: the finest map's
    QProgressBar* prgExport;
    QLabel* lblStatus;
    QPushButton *cmdExport, *cmdCancel;

    // The library whose maps are exported (it must outlive the window), the selected map's name
    // ("" for none) and the view's extent (none when no map is shown).
    void Attach(const Library::MapLibrary& library, const std::string& selectedMap,
                std::optional<Georef::Area> view);
    // The format chosen: the options that apply to it enabled.
    void cboFormat_Click();
    // Asks where, then starts the export.
    void cmdExport_Click();
    // Cancels the export under way (leaving nothing), or closes the window.
    void cmdCancel_Click();
    // Whether an export is under way.
    bool Running() const { return worker_.joinable(); }

    void Form_Unload(std::int16_t& Cancel) override;

signals:
    // The share done (0 to 1000), on the window's thread.
    void Progressed(int done);
    // An export ended: written, cancelled or failed; lblStatus says which.
    void Finished();

private:
    void Arrange();
    std::optional<Georef::ExportRequest> Request();
    void Start(Georef::ExportRequest request);
    void End(const QString& status, const QString& failure);
    const Library::MapLibrary* library_ = nullptr;
    std::string selected_;
    std::optional<Georef::Area> view_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
};
