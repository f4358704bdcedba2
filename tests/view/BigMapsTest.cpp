// Large maps: the part in view at once, the whole behind it, another map taking over mid-decode,
// and a picture above the memory bound shown reduced with its full size and exact coordinates.
#include "ui/MapPicture.h"
#include "support/AppTest.h"
#include "ui/frmMain.h"
#include "view/PictureBox.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <cstdlib>

namespace {
// A JPEG of one colour, large enough to be decoded in the background.
void WriteJpeg(const std::string& native, QColor colour) {
    QImage image(3000, 2000, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(native), "JPG", 90));
}
} // namespace

class BigMapsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        host.MakeHost();
        WriteJpeg(host.OnC("Stelmar/Maps/red.jpg"), Qt::red);
        WriteMap("red.inf", "60N,10W\r\n50N,0E\r\nred.jpg\r\n");
        WriteJpeg(host.OnC("Stelmar/Maps/blue.jpg"), Qt::blue);
        WriteMap("blue.inf", "60N,10W\r\n50N,0E\r\nblue.jpg\r\n");
    }
    void TearDown() override {
        unsetenv("VARNET_PICTURE_LIMIT_MB");
        AppTest::TearDown();
    }
};

TEST_F(BigMapsTest, ThePartInViewAtOnceTheWholeBehindIt) {
    frmMain& m = Start();
    Select(m, "red.inf");
    // The details and the part in view are there at once; the rest is on its way.
    EXPECT_EQ(Details(m)[1], "Map Filename red.jpg");
    EXPECT_EQ(m.sbStatusBar->PanelText(1), "Ready");
    ASSERT_TRUE(m.picInner->HasPicture());
    EXPECT_TRUE(m.MapViewer->Decoding());
    EXPECT_LT(m.picInner->Picture().width(), 3000);
    EXPECT_EQ(m.picInner->Picture().pixelColor(5, 5).red() > 200, true);
    EXPECT_EQ(m.picInner->Width(), 3000 * 15); // the whole picture's size from the start
    EXPECT_EQ(m.VScroll1->Max(), std::lround(2000 * 15 - m.picOuter->Height()));
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    EXPECT_EQ(m.picInner->Picture().size(), QSize(3000, 2000));

    // Another map while the first is still decoding: the second wins, the first never shows.
    Select(m, "blue.inf");
    Select(m, "red.inf");
    Select(m, "blue.inf");
    int shown = 0;
    QObject::connect(m.MapViewer, &MapView::PictureDecoded, [&] { ++shown; });
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(m.picInner->Picture().size(), QSize(3000, 2000));
    EXPECT_GT(m.picInner->Picture().pixelColor(2999, 1999).blue(), 200);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(); // nothing late arrives
    EXPECT_GT(m.picInner->Picture().pixelColor(0, 0).blue(), 200);
}

TEST_F(BigMapsTest, UntilItsPixelsComeAPictureShowsTheFramesBackground) {
    WriteImage(host.OnC("Stelmar/Maps/wide.bmp"), 2400, 2000); // decoded whole, behind
    WriteMap("wide.inf", "60N,10W\r\n50N,0E\r\nwide.bmp\r\n");
    frmMain& m = Start();
    Select(m, "wide.inf");
    ASSERT_TRUE(m.MapViewer->Decoding());
    const QColor background = ToQColor(m.picInner->BackColor(), m.picInner->palette());
    const QImage shown = m.picInner->grab(QRect(0, 0, 50, 50)).toImage();
    EXPECT_EQ(shown.pixelColor(25, 25), background);
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    EXPECT_EQ(m.picInner->grab(QRect(0, 0, 50, 50)).toImage().pixelColor(25, 25),
              QColor(30, 90, 160));
}

TEST_F(BigMapsTest, APictureAboveTheBoundIsShownReducedAtItsFullSize) {
    setenv("VARNET_PICTURE_LIMIT_MB", "10", 1); // 3000 x 2000 needs 22 MiB
    frmMain& m = Start();
    Select(m, "red.inf");
    EXPECT_EQ(m.sbStatusBar->PanelText(1),
              "Shown at 1/4 resolution: the picture needs 22 MiB; this machine allows 10 MiB.");
    WaitFor([&] { return !m.MapViewer->Decoding(); });
    EXPECT_EQ(m.picInner->Picture().size(), QSize(1500, 1000));
    EXPECT_EQ(m.picInner->Width(), 3000 * 15);
    EXPECT_EQ(m.picInner->ScaleWidth(), 600);
    // The position under the pointer counts the full picture's pixels: the centre of pixel
    // (2999, 0) of 3000 x 2000 over 600 x 600 minutes is 0.1' west of 0°, 0.15' south of 60° N.
    const QPointF at(2999.5, 0.5);
    QMouseEvent move(QEvent::MouseMove, at, m.picInner->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(m.picInner, &move);
    EXPECT_EQ(m.MapViewer->PositionText().left(20), "59.59.85N 000.00.10W");

    // A picture that can only be decoded whole is refused beyond the bound, as before.
    WriteImage(host.OnC("Stelmar/Maps/big.bmp"), 3000, 2000);
    WriteMap("big.inf", "60N,10W\r\n50N,0E\r\nbig.bmp\r\n");
    m.Unload();
    Flush();
    frmMain& again = Start();
    Select(again, "big.inf");
    EXPECT_NE(again.sbStatusBar->PanelText(1).indexOf("the picture is too large (3000 x 2000"), -1);
    EXPECT_FALSE(again.picInner->HasPicture());
}
