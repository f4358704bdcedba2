#pragma once
// Find Maps: which maps of the library show a place. A box takes the place in any form
// Grids::ReadPlace reads (a latitude and longitude, decimal degrees, a National Grid, Irish Grid,
// ITM, UTM or MGRS reference, an EPSG system's coordinates, or the Position panel's own text); the
// line under it names the form the text was read in, or says why it is not a place and which
// forms are; the list gives every map whose corners contain the place, best
// fit first, with its scale there and its extent, and follows the box as it is typed in and the
// library as it changes. Choosing a map (a click, or the keyboard) reports it with the place.
// Its placement is kept like the main window's (keys "FindMapsLeft", "FindMapsTop",
// "FindMapsWidth", "FindMapsHeight").

#include "grids/Grids.h"
#include "library/PlaceIndex.h"
#include "ui/Form.h"

#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

class frmFindMaps : public FormOf<frmFindMaps> {
    Q_OBJECT
public:
    frmFindMaps();
    ~frmFindMaps() override;

    QLineEdit* txtPlace;
    QLabel* lblReading;   // how the place was read, or why it cannot be
    QTreeWidget* lstMaps; // Map, Scale, Extent

    // The library whose maps are found, followed from now on, and the index of its places that
    // finds them; both must outlive the window. Places are read in the library's datum.
    void Attach(const Library::MapLibrary& library, const Library::PlaceIndex& places);
    // The list for the place in the box now.
    void txtPlace_Change();
    // The name of the map chosen in the list; "" when none is.
    QString ChosenMap() const;
    // Shows a place and the map chosen for it again (as the window showed them when it was last
    // closed), without reporting the map.
    void Restore(const QString& place, const QString& chosenMap);

    void Form_Load() override;
    void Form_Unload(std::int16_t& Cancel) override;

signals:
    // A map of the list was chosen: its name (as the library tree shows it) and the place, in
    // minutes of arc.
    void MapChosen(const QString& name, float latitude, float longitude);

private:
    void Choose(QTreeWidgetItem* row);
    const Library::MapLibrary* library_ = nullptr;
    const Library::PlaceIndex* index_ = nullptr;
    Grids::Place place_;
    Grids::Datum datum_ = Grids::Datum::OSGB36;
    bool filling_ = false;
    bool refreshDue_ = false;
};
