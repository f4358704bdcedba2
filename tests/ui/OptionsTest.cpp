#include "support/AppTest.h"
#include "ui/MsgBox.h"
#include "ui/frmOptions.h"
#include "view/PictureBox.h"

#include <QTest>
#include <QTimer>

namespace {
// The one pane on the dialog and enabled, the others off it and disabled; or -1.
int ShownPane(const frmOptions& o) {
    int shown = -1;
    for (int i = 0; i < 4; ++i) {
        const bool here = o.rect().intersects(o.picOptions[i]->geometry());
        if (here != o.picOptions[i]->isEnabled() || (here && shown >= 0)) return -1;
        if (here) shown = i;
    }
    return shown;
}
} // namespace

using OptionsTest = AppTest;

TEST_F(OptionsTest, CtrlTabCyclesTheTabsBothWays) {
    frmOptions& o = frmOptions::Instance();
    EXPECT_EQ(o.tbsOptions->SelectedIndex(), 1);
    struct Step {
        std::int16_t key, shift;
        int tab;
    } steps[] = {
        {9, 2, 2}, {9, 2, 3}, {9, 2, 4},  {9, 2, 1}, // Ctrl+Tab, wrapping after the last
        {9, 3, 4}, {9, 3, 3},                        // Ctrl+Shift+Tab, wrapping before the first
        {9, 6, 4}, {9, 7, 3},                        // Alt held changes nothing
        {9, 0, 3}, {9, 1, 3}, {65, 2, 3}, {9, 4, 3}, // Tab, Shift+Tab, Ctrl+A, Alt+Tab: nothing
    };
    for (const auto& s : steps) {
        std::int16_t key = s.key, shift = s.shift;
        o.Form_KeyDown(key, shift);
        EXPECT_EQ(o.tbsOptions->SelectedIndex(), s.tab) << s.key << "/" << s.shift;
        EXPECT_EQ(ShownPane(o), s.tab - 1);
    }
    // Real keys reach the dialog before its controls; a click on a tab shows its pane.
    o.ShowModeless();
    QTest::keyClick(o.cmdApply, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(o.tbsOptions->SelectedIndex(), 4);
    QTest::keyClick(o.cmdApply, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(o.tbsOptions->SelectedIndex(), 3);
    o.tbsOptions->Tabs->setCurrentIndex(1);
    EXPECT_EQ(ShownPane(o), 1);
}

TEST_F(OptionsTest, ButtonsSayTheirMessagesAndClose) {
    frmOptions& o = frmOptions::Instance();
    o.tbsOptions->setSelectedIndex(3);
    o.cmdApply->click();
    EXPECT_EQ(messages,
              (Messages{{"Apply Code goes here to set options w/o closing dialog!", 0, "Varnet"}}));
    EXPECT_TRUE(frmOptions::Loaded());
    EXPECT_EQ(o.tbsOptions->SelectedIndex(), 3);

    // OK closes only once its message has been answered.
    bool openDuringMessage = false;
    SetMsgBoxHook([&](const QString& prompt, int, const QString&) {
        openDuringMessage = frmOptions::Loaded();
        messages.push_back({prompt, 0, ""});
        return 1;
    });
    o.cmdOK->click();
    EXPECT_TRUE(openDuringMessage);
    EXPECT_EQ(messages.back().prompt, "Code goes here to set options and close dialog!");
    EXPECT_FALSE(frmOptions::Loaded());

    // Cancel closes without a word, and the next load starts afresh.
    messages.clear();
    frmOptions& again = frmOptions::Instance();
    EXPECT_EQ(again.tbsOptions->SelectedIndex(), 1);
    again.cmdCancel->click();
    EXPECT_FALSE(frmOptions::Loaded());
    EXPECT_TRUE(messages.empty());
}
