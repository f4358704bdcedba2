#include "ui/frmCoverage.h"

#include "ui/Accessibility.h"
#include "ui/Pictures.h"
#include "ui/Placement.h"

#include <QAction>
#include <QResizeEvent>
#include <cmath>

frmCoverage::frmCoverage() {
    setObjectName("frmCoverage");
    setWindowIcon(ProgramIcon());
    picCanvas = new CoverageCanvas(this);
    picCanvas->setObjectName("picCanvas");
    lblPosition = new QLabel(this);
    lblPosition->setObjectName("lblPosition");
    lblPosition->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblPosition->setContentsMargins(3, 0, 3, 0);
    connect(picCanvas, &CoverageCanvas::PositionChanged, lblPosition, &QLabel::setText);

    // The map view's keys.
    auto key = [this](std::initializer_list<QKeySequence> keys, auto handler) {
        auto* a = new QAction(this);
        a->setShortcuts(QList<QKeySequence>(keys));
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, handler);
        addAction(a);
    };
    auto centre = [this] { return QPointF(picCanvas->rect().center()); };
    key({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        [this, centre] { picCanvas->ZoomBy(std::sqrt(2.0), centre()); });
    key({QKeySequence(Qt::CTRL | Qt::Key_Minus)},
        [this, centre] { picCanvas->ZoomBy(std::sqrt(0.5), centre()); });
    key({QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { ShowAll(); });

    Define("Map Coverage", Border::Sizable, StartUp::SystemDefault, 9000, 6000, true, true);
    setAccessibleDescription("Every map of the library drawn where its corners put it; choosing "
                             "a map selects it in the tree");
    Accessibility::Describe(picCanvas, QAccessible::Canvas, "Map coverage");
    EscapeCloses = true;
    lblPosition->setAccessibleDescription("Position");
}

void frmCoverage::Form_Load() {
    RestorePlacement(*this, "Coverage", QRectF(1500, 1500, 9000, 6500));
}

void frmCoverage::Form_Unload(std::int16_t& Cancel) {
    (void)Cancel;
    if (!Minimized()) SavePlacement(*this, "Coverage");
}

void frmCoverage::resizeEvent(QResizeEvent* event) {
    const int status = lblPosition->sizeHint().height() + 2;
    picCanvas->setGeometry(0, 0, width(), std::max(0, height() - status));
    lblPosition->setGeometry(0, std::max(0, height() - status), width(), status);
    Form::resizeEvent(event);
}
