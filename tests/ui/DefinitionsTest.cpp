#include "app/StartupCode.h"
#include "support/AppTest.h"
#include "ui/frmAbout.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"
#include "ui/frmOptions.h"
#include "ui/frmProgress.h"
#include "ui/frmSplash.h"

#include <QLabel>
#include <QStyle>
#include <QTest>

using DefinitionsTest = AppTest;

namespace {
// Where a control shows something, in its window: a label's text where its alignment puts it,
// any other control all of itself.
QRect Shown(const QWidget* w, const QWidget* window) {
    QRect r = w->rect();
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        QSize text = label->sizeHint();
        if (label->wordWrap()) text = QSize(r.width(), label->heightForWidth(r.width()));
        r = QStyle::alignedRect(Qt::LeftToRight, label->alignment(), text, r);
    }
    return r.translated(w->mapTo(window, QPoint(0, 0)));
}
} // namespace

// Every caption shows whole at the program's font: inside its label and its window, and clear
// of the controls beside it.
TEST_F(DefinitionsTest, EveryLabelShowsItsWholeCaption) {
    host.MakeHost();
    StartupCode::Main(); // the program's own font
    Flush();
    for (Form* form : std::initializer_list<Form*>{
             StartupCode::MainWindow, &frmInfEdit::Instance(), &frmAbout::Instance(),
             &frmOptions::Instance(), &frmSplash::Instance(), &frmProgress::Instance()}) {
        for (QLabel* label : form->findChildren<QLabel*>()) {
            if (label->text().isEmpty() ||
                label->parentWidget() == StartupCode::MainWindow->sbStatusBar)
                continue;
            const std::string name =
                form->objectName().toStdString() + "." + label->objectName().toStdString();
            const QRect text = Shown(label, form);
            EXPECT_TRUE(label->rect().translated(label->mapTo(form, QPoint(0, 0))).contains(text))
                << name << " is cut";
            EXPECT_TRUE(form->rect().contains(text)) << name << " runs out of its window";
            for (QWidget* other : label->parentWidget()->findChildren<QWidget*>(
                     QString(), Qt::FindDirectChildrenOnly)) {
                if (other == label || other->isHidden()) continue;
                EXPECT_FALSE(Shown(other, form).intersects(text))
                    << name << " is covered by " << other->objectName().toStdString();
            }
        }
    }
}

TEST_F(DefinitionsTest, EnterAndEscPressTheRightButtons) {
    // The editor: Enter in a text box cancels; Esc does nothing.
    TempHost::Write(host.OnC("m.inf"), "1N,1E\r\n0N,2E\r\nx.gif\r\n");
    frmInfEdit& edit = frmInfEdit::Instance();
    edit.setInfPath("C:\\m.inf");
    edit.ShowModeless();
    QTest::keyClick(edit.txtTLLat, Qt::Key_Escape);
    EXPECT_TRUE(frmInfEdit::Loaded());
    QTest::keyClick(edit.txtTLLat, Qt::Key_Return);
    EXPECT_FALSE(frmInfEdit::Loaded());
    EXPECT_TRUE(messages.empty());

    // About: Enter and Esc both press OK.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        frmAbout& about = frmAbout::Instance();
        about.ShowModeless();
        QTest::keyClick(&about, key);
        EXPECT_FALSE(frmAbout::Loaded());
    }
    // Options: Esc presses Cancel, without a word.
    frmOptions& options = frmOptions::Instance();
    options.ShowModeless();
    QTest::keyClick(options.tbsOptions->Tabs, Qt::Key_Escape);
    EXPECT_FALSE(frmOptions::Loaded());
    EXPECT_TRUE(messages.empty());
}
