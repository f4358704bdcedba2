#include "ui/frmOptions.h"

#include "ui/Accessibility.h"
#include "ui/MsgBox.h"
#include "ui/Pictures.h"
#include "view/PictureBox.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>

TabStrip::TabStrip(QWidget* parent) : QWidget(parent), Tabs(new QTabBar(this)) {
    Tabs->setDrawBase(false);
    Tabs->setFocusPolicy(Qt::TabFocus);
    setFocusProxy(Tabs);
    connect(Tabs, &QTabBar::currentChanged, this, [this] { emit Click(); });
}

void TabStrip::resizeEvent(QResizeEvent*) {
    Tabs->setGeometry(0, 0, width(), Tabs->sizeHint().height());
}

void TabStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const int top = Tabs->sizeHint().height() - 1;
    frame.rect = QRect(0, top, width(), height() - top);
    frame.tabBarSize = Tabs->sizeHint();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);
}

frmOptions::frmOptions() {
    setObjectName("frmOptions");
    Accessibility::SetRole(this, QAccessible::Dialog); // before anything announces it
    setWindowIcon(ProgramIcon());
    tbsOptions = new TabStrip(this);
    tbsOptions->setObjectName("tbsOptions");
    for (int i = 1; i <= 4; ++i) tbsOptions->Tabs->addTab(QString("Group %1").arg(i));
    Place(tbsOptions, 105, 120, 5895, 4245, 0);

    QGroupBox** frames[] = {&fraSample1, &fraSample2, &fraSample3, &fraSample4};
    const int paneTabs[] = {2, 6, 9, 7}, frameTabs[] = {4, 8, 10, 11};
    for (int i = 0; i < 4; ++i) {
        picOptions[i] = new PictureBox(this);
        picOptions[i]->setObjectName(QString("picOptions(%1)").arg(i));
        Place(picOptions[i], i == 0 ? 210 : -20000, 480, 5685, 3780, paneTabs[i]);
        // Each pane's user scale makes its interior 5745.64 x 3840.968 units.
        picOptions[i]->Scale(0, 0, 5745.64f, 3840.968f);
        const float kx = 5685 / 5745.64f, ky = 3780 / 3840.968f;
        const float xs[] = {208, 307, 406, 505}, ys[] = {207, 305, 403, 502};
        const float offset = xs[i], offsetY = ys[i];
        auto* frame = new QGroupBox(QString("Sample %1").arg(i + 1), picOptions[i]);
        frame->setObjectName(QString("fraSample%1").arg(i + 1));
        Place(frame, offset * kx, offsetY * ky, 2033 * kx, 2022 * ky, frameTabs[i]);
        *frames[i] = frame;
    }

    cmdOK = Control<QPushButton>(this, "cmdOK", 2490, 4455, 1095, 375, 1, "OK");
    cmdCancel = Control<QPushButton>(this, "cmdCancel", 3720, 4455, 1095, 375, 3, "Cancel");
    cmdApply = Control<QPushButton>(this, "cmdApply", 4920, 4455, 1095, 375, 5, "&Apply");
    CancelButton = cmdCancel;
    KeyPreview = true;

    connect(tbsOptions, &TabStrip::Click, this, [this] { tbsOptions_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });

    Define("Options", Border::FixedDialog, StartUp::CentreOwner, 6150, 5040, true, false);
    setWindowFlag(Qt::Tool);
    setAccessibleDescription("The program's options, in four groups");
    Accessibility::Describe(tbsOptions, QAccessible::Pane, "Option groups");
    for (int i = 0; i < 4; ++i)
        Accessibility::Describe(picOptions[i], QAccessible::PropertyPage,
                                tbsOptions->Tabs->tabText(i));
    ApplyTabOrder(this);
}

void frmOptions::tbsOptions_Click() {
    const std::int16_t n = static_cast<std::int16_t>(tbsOptions->TabCount());
    const int s = tbsOptions->SelectedIndex();
    for (std::int16_t i = 0; i < n; ++i) {
        const bool current = i == s - 1;
        Twips::SetLeft(picOptions[i], current ? 210 : -20000);
        picOptions[i]->setEnabled(current);
    }
}

void frmOptions::Form_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift) {
    const int i = tbsOptions->SelectedIndex(), n = tbsOptions->TabCount();
    const int m = Shift & 3; // Alt is ignored
    if (m == 2 && KeyCode == 9)
        tbsOptions->setSelectedIndex(i == n ? 1 : i + 1);
    else if (m == 3 && KeyCode == 9)
        tbsOptions->setSelectedIndex(i == 1 ? n : i - 1);
}

void frmOptions::cmdOK_Click() {
    MsgBox("Code goes here to set options and close dialog!", vbOKOnly, kAppTitle);
    Unload();
}

void frmOptions::cmdCancel_Click() {
    Unload();
}

void frmOptions::cmdApply_Click() {
    MsgBox("Apply Code goes here to set options w/o closing dialog!", vbOKOnly, kAppTitle);
}
