#pragma once
// The map definition editor: the two corners' latitude and longitude and the image file name
// of one definition file. It loads the file just after it is on screen, checks the corners and
// the image on save, asks before overwriting and writes the file.

#include "ui/Controls.h"
#include "ui/Form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <string>

class frmInfEdit : public FormOf<frmInfEdit> {
    Q_OBJECT
public:
    frmInfEdit();

    // The full path of the definition file, set before the window is shown.
    std::string InfPath() const { return infPath_; }
    void setInfPath(const std::string& path) { infPath_ = path; }

    QLabel *Label1, *Label2, *Label3, *Label4, *Label5;
    QLineEdit *txtTLLat, *txtTLLon, *txtBRLat, *txtBRLon, *txtFilename;
    QPushButton *cmdBrowse, *cmdOk, *cmdCancel;
    QTimer* Timer1;
    CommonDialog CommonDialog1;

    void Form_Load() override;
    void Timer1_Timer();
    void cmdBrowse_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

signals:
    // A definition was written (its Windows path).
    void Saved(const QString& path);

private:
    // Checks one corner (both boxes); false after telling the user.
    bool CheckCorner(QLineEdit* latitude, QLineEdit* longitude, const QString& message);

    std::string infPath_;
    std::string folder_; // the definition's folder and name, set when the file is loaded
    std::string name_;
};
