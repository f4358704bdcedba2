// A scan calibrated in the window: points clicked and their places typed, the grid's
// intersections proposed and confirmed, residuals shown and one far out marked, a point moved
// and removed, Cancel asking, Save writing the map in the background and selecting it.
#include "georef/Calibration.h"
#include "support/AppTest.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmCalibrate.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QGraphicsView>
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
    // The 1 km lines' intersections on the scan are proposed: eastings 440 and 441 km at x 0 and
    // 250, northings 120 and 119 km at y 50 and 300. One clicked becomes a point on its place.
    ASSERT_EQ(c.Proposals().size(), 4u);
    QTest::mouseClick(c.picScan->viewport(), Qt::LeftButton, {},
                      c.picScan->mapFromScene(QPointF(250, 50)));
    ASSERT_EQ(c.lstPoints->topLevelItemCount(), 3);
    EXPECT_EQ(c.lstPoints->topLevelItem(2)->text(2), "SU 41000 20000");
    EXPECT_EQ(Offered(c), "11101");
    EXPECT_EQ(c.cboTransform->currentIndex(), int(Georef::Transform::Affine));
    while (!c.Proposals().empty()) c.ConfirmProposal(0);
    ASSERT_EQ(c.lstPoints->topLevelItemCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(c.lstPoints->topLevelItem(i)->text(3).toDouble(), 0, 0.01) << i;

    // A point 40 m (10 pixels) out of line gives residuals; moved onto its place by the arrow
    // keys (the view at one screen pixel a scan pixel), they go.
    c.AddPoint(400, 290);
    Type(c, "SU 41600 19000");
    EXPECT_GT(c.lstPoints->topLevelItem(6)->text(3).toDouble(), 5);
    EXPECT_GT(c.lstPoints->topLevelItem(6)->text(4).toDouble(), 1);
    c.lstPoints->setFocus();
    for (int i = 0; i < 10; ++i) QTest::keyClick(c.lstPoints, Qt::Key_Down);
    EXPECT_NEAR(c.lstPoints->topLevelItem(6)->text(3).toDouble(), 0, 0.01);
    // A place typed 40 m wrong at the middle stands out from the others, alone; Delete takes
    // it away again.
    c.AddPoint(200, 150);
    Type(c, "SU 40840 19600");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(c.lstPoints->topLevelItem(i)->toolTip(3).isEmpty(), i != 7) << i;
    c.lstPoints->setFocus();
    QTest::keyClick(c.lstPoints, Qt::Key_Delete);
    EXPECT_EQ(c.lstPoints->topLevelItemCount(), 7);

    // In neat-line mode clicks on the scan are its corners, not points; saved as its outline.
    c.cmdCorners->click();
    for (const QPointF at : {QPointF(20, 20), QPointF(380, 20), QPointF(380, 280)})
        QTest::mouseClick(c.picScan->viewport(), Qt::LeftButton, {}, c.picScan->mapFromScene(at));
    c.cmdCorners->click();
    EXPECT_EQ(c.lstPoints->topLevelItemCount(), 7);

    // Cancel asks, No by default, and keeps the points.
    answers.push_back(vbNo);
    c.cmdCancel->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].style & vbDefaultButton2, vbDefaultButton2);
    ASSERT_TRUE(frmCalibrate::Loaded());

    // Saved in the background; the window closes when the map is written.
    c.cmdSave->click();
    EXPECT_FALSE(c.cmdSave->isEnabled());
    WaitFor([] { return !frmCalibrate::Loaded(); });
    EXPECT_EQ(messages.size(), 1u);
    for (const char* file : {"scan.inf", "scan.jpg", "scan.map"})
        EXPECT_TRUE(TempHost::Exists(host.OnC(std::string("Stelmar/Maps/") + file))) << file;
    EXPECT_NE(TempHost::Read(host.OnC("Stelmar/Maps/scan.map")).find("MMPNUM,3\r\n"),
              std::string::npos);
    WaitFor([&] { return m.DirTree->SelectedItem() != nullptr; });
    EXPECT_EQ(m.DirTree->SelectedItem()->text(0), "scan.inf");
}
