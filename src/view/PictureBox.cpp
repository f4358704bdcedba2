#include "view/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

QColor ToQColor(std::uint32_t colour, const QPalette& palette) {
    if (colour & 0x80000000u) {
        switch (colour & 0xFF) {
        case 5:
            return palette.color(QPalette::Base);
        case 8:
            return palette.color(QPalette::Text);
        case 15:
        default:
            return palette.color(QPalette::Button);
        }
    }
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

int ButtonCode(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int ShiftCode(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setBorderStyle(int style) {
    borderStyle_ = style;
    update();
}

void PictureBox::setPicture(QImage image) {
    picture_ = std::move(image);
    if (autoSize_ && !picture_.isNull()) {
        const QRectF r = Twips::Rect(this);
        Twips::Move(this, float(r.left()), float(r.top()),
                    Twips::FromPixels(picture_.width()) + BorderAllowance(),
                    Twips::FromPixels(picture_.height()) + BorderAllowance());
    }
    update();
}

void PictureBox::ClearPicture() {
    picture_ = QImage();
    update();
}

void PictureBox::Scale(float x1, float y1, float x2, float y2) {
    userScale_ = true;
    scale_ = {x1, y1, x2 - x1, y2 - y1};
}

void PictureBox::setBackColor(std::uint32_t colour) {
    backColor_ = colour;
    update();
}

void PictureBox::setMousePointer(int pointer) {
    mousePointer_ = pointer;
    if (pointer == 7)
        setCursor(Qt::SizeVerCursor);
    else if (pointer == 9)
        setCursor(Qt::SizeHorCursor);
    else
        unsetCursor();
}

void PictureBox::setEmptyText(const QString& text) {
    emptyText_ = text;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect exposed = event->rect();
    p.fillRect(exposed, ToQColor(backColor_, palette()));
    const int b = borderStyle_ == 1 ? 2 : 0;
    if (!picture_.isNull()) {
        // Only the exposed part: a large map is drawn a window's worth at a time.
        const QRect target = exposed.intersected(QRect(b, b, picture_.width(), picture_.height()));
        if (!target.isEmpty()) p.drawImage(target, picture_, target.translated(-b, -b));
    } else if (!emptyText_.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, emptyText_);
    }
    if (b) {
        const QRect r = rect();
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(palette().color(QPalette::Shadow));
        p.drawLine(r.topLeft() + QPoint(1, 1), r.topRight() + QPoint(-1, 1));
        p.drawLine(r.topLeft() + QPoint(1, 1), r.bottomLeft() + QPoint(1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(palette().color(QPalette::Midlight));
        p.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1));
        p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, -1));
    }
}

void PictureBox::mousePressEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit MouseDown(ButtonCode(e->button()), ShiftCode(e->modifiers()),
                   float(pos.x()) * Twips::kPerPixel, float(pos.y()) * Twips::kPerPixel);
}

void PictureBox::mouseMoveEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit MouseMove(ButtonCode(e->buttons()), ShiftCode(e->modifiers()),
                   float(pos.x()) * Twips::kPerPixel, float(pos.y()) * Twips::kPerPixel);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    emit MouseUp(ButtonCode(e->button()), ShiftCode(e->modifiers()),
                 float(pos.x()) * Twips::kPerPixel, float(pos.y()) * Twips::kPerPixel);
}
