// A scan calibrated in the window: points clicked and their places typed, residuals shown, a
// point moved and removed, Cancel asking, Save writing the map and selecting it.
#include "georef/Calibration.h"
#include "support/AppTest.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmCalibrate.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTest>

namespace {

// Which transforms the list offers, as 1 (enabled) and 0, in its order.
std::string Offered(const frmCalibrate& c) {
    std::string offered;
    const auto* model = qobject_cast<const QStandardItemModel*>(c.cboTransform->model());
    for (int i = 0; i < c.cboTransform->count(); ++i)
        offered += model->item(i)->isEnabled() ? '1' : '0';
    return offered;
}

void Type(frmCalibrate& c, const char* place) {
    c.txtPosition->clear();
    QTest::keyClicks(c.txtPosition, place);
    QTest::keyClick(c.txtPosition, Qt::Key_Return);
}

} // namespace

using CalibrateTest = AppTest;

TEST_F(CalibrateTest, PointsPlacedTypedFittedAndSaved) {
    host.MakeHost();
    const std::string scan = host.Root() + "/scan.bmp";
    WriteImage(scan, 400, 300);
    frmMain& m = Start();
    m.show();
    SetFileOpenHook([&](const FileOpenRequest&) -> std::optional<QString> {
        return QString::fromStdString(scan);
    });
    m.mnuToolsCalibrateMap->trigger();
    ASSERT_TRUE(frmCalibrate::Loaded());
    frmCalibrate& c = frmCalibrate::Instance();
    QApplication::setActiveWindow(&c);
    EXPECT_EQ(c.txtName->text(), "scan");
    EXPECT_EQ(Offered(c), "00000");
    EXPECT_FALSE(c.cmdSave->isEnabled());

    // A sheet 4 m a pixel on the National Grid: 400 x 300 pixels from SU 400 200 north-west.
    c.AddPoint(0, 0);
    EXPECT_EQ(QApplication::focusWidget(), c.txtPosition);
    Type(c, "SU 40000 2O200"); // a slip: the letter O
    EXPECT_EQ(c.txtPosition->text(), "SU 40000 2O200");
    EXPECT_FALSE(c.lblReading->text().isEmpty());
    Type(c, "SU 40000 20200");
    c.AddPoint(400, 0);
    Type(c, "SU 41600 20200");
    EXPECT_EQ(Offered(c), "11000");
    EXPECT_EQ(c.cboTransform->currentIndex(), int(Georef::Transform::Similarity));
    EXPECT_TRUE(c.cmdSave->isEnabled());
    c.AddPoint(0, 300);
    Type(c, "SU 40000 19000");
    EXPECT_EQ(Offered(c), "11101");
    EXPECT_EQ(c.cboTransform->currentIndex(), int(Georef::Transform::Affine));
    ASSERT_EQ(c.lstPoints->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(c.lstPoints->topLevelItem(i)->text(3).toDouble(), 0, 0.01) << i;

    // A fourth point 40 m (10 pixels) out of line gives residuals; moved onto its place by
    // the arrow keys (the view at one screen pixel a scan pixel), they go.
    c.AddPoint(400, 290);
    Type(c, "SU 41600 19000");
    EXPECT_GT(c.lstPoints->topLevelItem(3)->text(3).toDouble(), 5);
    EXPECT_GT(c.lstPoints->topLevelItem(3)->text(4).toDouble(), 1);
    c.lstPoints->setFocus();
    for (int i = 0; i < 10; ++i) QTest::keyClick(c.lstPoints, Qt::Key_Down);
    EXPECT_NEAR(c.lstPoints->topLevelItem(3)->text(3).toDouble(), 0, 0.01);
    // A fifth point, then Delete takes it away again.
    c.AddPoint(200, 150);
    Type(c, "SU 40800 19600");
    QTest::keyClick(c.lstPoints, Qt::Key_Delete);
    EXPECT_EQ(c.lstPoints->topLevelItemCount(), 4);

    // Cancel asks, No by default, and keeps the points.
    answers.push_back(vbNo);
    c.cmdCancel->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].style & vbDefaultButton2, vbDefaultButton2);
    ASSERT_TRUE(frmCalibrate::Loaded());

    c.cmdSave->click();
    EXPECT_FALSE(frmCalibrate::Loaded());
    EXPECT_EQ(messages.size(), 1u);
    for (const char* file : {"scan.inf", "scan.jpg", "scan.map"})
        EXPECT_TRUE(TempHost::Exists(host.OnC(std::string("Stelmar/Maps/") + file))) << file;
    WaitFor([&] { return m.DirTree->SelectedItem() != nullptr; });
    EXPECT_EQ(m.DirTree->SelectedItem()->text(0), "scan.inf");
}
