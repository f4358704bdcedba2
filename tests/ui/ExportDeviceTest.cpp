// Export for Devices as the user runs it: from the Tools menu, through the save dialog, in the
// background with Cancel, asking before it replaces a file.
#include "support/AppTest.h"
#include "ui/Dialogs.h"
#include "ui/MsgBox.h"
#include "ui/frmExportDevice.h"
#include "ui/frmMain.h"

#include <filesystem>

using ExportDeviceTest = AppTest;

TEST_F(ExportDeviceTest, TheSelectedMapIsWrittenInTheBackgroundAskedCancelledOrReplaced) {
    host.MakeHost();
    WriteImage(host.OnC("Stelmar/Maps/london.bmp"), 400, 300);
    WriteMap("london.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E\r\nlondon.bmp\r\n");
    const std::string out = host.Root() + "/out";
    TempHost::MakeFolder(out);
    const QString pdf = QString::fromStdString(out + "/london.pdf");
    SetFileSaveHook([&](const FileSaveRequest& r) -> std::optional<QString> {
        EXPECT_EQ(r.name, "london.pdf"); // the map's name, the format's extension
        return pdf;
    });
    frmMain& m = Start();
    m.show();
    Select(m, "london.inf");
    m.mnuToolsExportDevice->trigger();
    ASSERT_TRUE(frmExportDevice::Loaded());
    frmExportDevice& w = frmExportDevice::Instance();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.optMap->isChecked());
    w.cboFormat->setCurrentIndex(w.cboFormat->findText("PDF", Qt::MatchContains));
    EXPECT_TRUE(w.txtDpi->isEnabled());
    EXPECT_FALSE(w.txtMaxTiles->isEnabled()); // a PDF has no tiles

    w.cmdExport->click();
    EXPECT_TRUE(w.Running() || w.lblStatus->text().startsWith("Saved"));
    WaitFor([&] { return !w.Running(); });
    EXPECT_TRUE(w.lblStatus->text().startsWith("Saved")) << w.lblStatus->text().toStdString();
    const std::string written = TempHost::Read(pdf.toStdString());
    EXPECT_EQ(written.rfind("%PDF", 0), 0u);

    // There already: the user is asked, and No (the default) keeps it.
    answers = {vbNo};
    w.cmdExport->click();
    EXPECT_FALSE(w.Running());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].style, vbQuestion + vbYesNo + vbDefaultButton2);

    // Yes, then Cancel while it runs: the old file stays, nothing else is left.
    answers = {vbYes};
    bool cancelled = false;
    QObject::connect(&w, &frmExportDevice::Progressed, &w, [&] {
        if (!cancelled) cancelled = true, w.cmdCancel->click();
    });
    w.cmdExport->click();
    WaitFor([&] { return !w.Running(); });
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(w.lblStatus->text(), "The export was cancelled; nothing was written.");
    EXPECT_EQ(TempHost::Read(pdf.toStdString()), written);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1);
    w.cmdCancel->click(); // now Close
    EXPECT_FALSE(frmExportDevice::Loaded());
}
