#pragma once
// The options dialog: a tab strip of four groups, one pane each, and OK, Cancel and Apply.
// It holds no options yet; nothing in the program opens it.

#include "ui/Form.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTabBar>

class PictureBox;

// A tab strip: the tabs and the panel frame below them. Tabs are 1-based; Click is raised
// whenever the selected tab changes, by the user or by the program.
class TabStrip : public QWidget {
    Q_OBJECT
public:
    explicit TabStrip(QWidget* parent = nullptr);
    QTabBar* Tabs;
    int TabCount() const { return Tabs->count(); }
    int SelectedIndex() const { return Tabs->currentIndex() + 1; }
    void setSelectedIndex(int index) { Tabs->setCurrentIndex(index - 1); }

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

class frmOptions : public FormOf<frmOptions> {
    Q_OBJECT
public:
    frmOptions();
    TabStrip* tbsOptions;
    PictureBox* picOptions[4];
    QGroupBox* fraSample1;
    QGroupBox* fraSample2;
    QGroupBox* fraSample3;
    QGroupBox* fraSample4;
    QPushButton *cmdOK, *cmdCancel, *cmdApply;

    void Form_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift) override;
    void tbsOptions_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdApply_Click();
};
