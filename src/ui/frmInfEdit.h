#pragma once
// The map definition editor: the two corners' latitude and longitude and the image file name
// of one definition file. It loads the file just after it is on screen, checks the corners and
// the image on save, asks before overwriting and writes the file.

#include "mapdef/MapCode.h"
#include "platform/FileIO.h"
#include "ui/Controls.h"
#include "ui/Form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <optional>
#include <string>

class frmInfEdit : public FormOf<frmInfEdit> {
    Q_OBJECT
public:
    frmInfEdit();

    // The full path of the definition file, set before the window is shown.
    std::string InfPath() const { return infPath_; }
    void setInfPath(const std::string& path) {
        infPath_ = path;
        newDefinition_.reset();
    }
    // Opens on a definition yet to be written instead of a file's: the image name and the four
    // corner texts (top-left latitude, longitude, bottom-right latitude, longitude; may be empty)
    // go into the boxes. Save asks before overwriting only when the file exists by then.
    void setNewDefinition(const std::string& path, const std::string& imageName,
                          const std::array<std::string, 4>& corners);

    // The corner texts the world file beside an image (a Windows path) gives; nothing, with
    // the reason in `why`, when there is none or it cannot be used.
    static std::optional<std::array<std::string, 4>> WorldFileCorners(const std::string& imagePath,
                                                                      std::string& why);

    QLabel *Label1, *Label2, *Label3, *Label4, *Label5;
    // Under the specified controls: how corners are written, and what each corner's boxes
    // will be read as, kept up to date as they are typed.
    QLabel *lblFormat, *lblTopLeftReading, *lblBottomRightReading;
    QLineEdit *txtTLLat, *txtTLLon, *txtBRLat, *txtBRLon, *txtFilename;
    QPushButton *cmdBrowse, *cmdOk, *cmdCancel, *cmdWorldFile;
    QTimer* Timer1;
    CommonDialog CommonDialog1;

    void Form_Load() override;
    void Timer1_Timer();
    void cmdBrowse_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdWorldFile_Click();

    // Whether the boxes differ from what was put into them when the definition was loaded.
    bool Edited() const;

    // What a corner's two boxes will be read as when saved: the latitude's and the longitude's
    // reading, such as "51° 05.00′ N" for 51.5N (degrees and minutes: not 51.5 degrees); "" for
    // an empty box; "(not a latitude)" or "(not a longitude)" for a text the save refuses. A
    // grid reference in either box gives the place it names to both.
    static std::array<QString, 2> CornerReading(const QString& latitude, const QString& longitude);

signals:
    // A definition was written (its Windows path).
    void Saved(const QString& path);

protected:
    // Enter in a box presses Cancel: after edits, only once the user has agreed to lose them.
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::array<QLineEdit*, 5> Boxes() const {
        return {txtTLLat, txtTLLon, txtBRLat, txtBRLon, txtFilename};
    }
    // Keeps the boxes' texts as loaded, for Edited.
    void KeepLoadedTexts();
    // Shows a corner's reading beside its heading, and on its boxes for a screen reader.
    void ShowReading(QLabel* reading, QLabel* heading, QLineEdit* latitude, QLineEdit* longitude);
    // Checks one corner (both boxes); false after telling the user.
    bool CheckCorner(QLineEdit* latitude, QLineEdit* longitude, const QString& message);
    // Loads the file into the boxes; false after telling the user why it could not.
    bool LoadFile();
    // True when the file is still as it was loaded, or the user chose to overwrite it anyway;
    // false (after reloading it when the user chose that) when the save must not go on.
    bool StillTheLoadedFile(const std::string& path);

    std::string infPath_;
    std::string folder_; // the definition's folder and name, set when the file is loaded
    std::string name_;
    MapCode::DefinitionComments comments_; // kept in their places by the save
    struct NewDefinition {
        std::string image;
        std::array<std::string, 4> corners;
    };
    std::optional<NewDefinition> newDefinition_;
    Platform::FileSnapshot loaded_; // the file as it was when loaded
    std::array<QString, 5> loadedTexts_;
};
