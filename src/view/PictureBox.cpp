#include "view/PictureBox.h"

#include "picture/PictureLoader.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

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

void PictureBox::setPicture(QImage image, QSize fullSize, QRect region) {
    tiles_.reset();
    picture_ = std::move(image);
    fullSize_ = fullSize.isValid() ? fullSize : picture_.size();
    if (fullSize_.isEmpty()) fullSize_ = QSize();
    region_ = region.isValid() ? region : QRect(QPoint(), fullSize_);
    scaled_ = QImage();
    FitToPicture();
    update();
    Changed();
}

void PictureBox::setTiles(std::shared_ptr<Picture::Tiled> tiles, QSize fullSize) {
    setPicture(QImage(), fullSize, QRect());
    tiles_ = std::move(tiles);
    disconnect(tilesChanged_);
    if (tiles_)
        tilesChanged_ =
            connect(tiles_.get(), &Picture::Tiled::Changed, this, [this] { Changed(); });
}

void PictureBox::Changed() {
    if (layer_) layer_->PictureChanged();
}

void PictureBox::ClearPicture() {
    tiles_.reset();
    picture_ = QImage();
    fullSize_ = QSize();
    region_ = QRect();
    scaled_ = QImage();
    update();
    Changed();
}

void PictureBox::setZoom(double factor) {
    if (factor == zoom_) return;
    zoom_ = factor;
    scaled_ = QImage();
    FitToPicture();
    update();
    Changed();
}

void PictureBox::FitToPicture() {
    if (!autoSize_ || !HasPicture()) return;
    // The picture's size in twips times the zoom, kept in full precision.
    const QRectF r = Twips::Rect(this);
    Twips::Move(this, float(r.left()), float(r.top()),
                float(Twips::FromPixels(fullSize_.width()) * zoom_) + BorderAllowance(),
                float(Twips::FromPixels(fullSize_.height()) * zoom_) + BorderAllowance());
}

std::optional<QPoint> PictureBox::PixelAt(QPointF point) const {
    if (!HasPicture()) return std::nullopt;
    const int b = borderStyle_ == 1 ? 2 : 0;
    const double x = std::floor((point.x() - b) / zoom_), y = std::floor((point.y() - b) / zoom_);
    if (x < 0 || y < 0 || x >= fullSize_.width() || y >= fullSize_.height()) return std::nullopt;
    return QPoint(int(x), int(y));
}

QPointF PictureBox::PointOf(QPointF pixel) const {
    const int b = borderStyle_ == 1 ? 2 : 0;
    return QPointF((pixel.x() + 0.5) * zoom_ + b, (pixel.y() + 0.5) * zoom_ + b);
}

void PictureBox::Scale(float x1, float y1, float x2, float y2) {
    userScale_ = true;
    scale_ = {x1, y1, x2 - x1, y2 - y1};
}

void PictureBox::setBackColor(std::uint32_t colour) {
    backColor_ = colour;
    update();
    Changed();
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

namespace {

// The sunken border of a box with BorderStyle 1, two pixels inside its rectangle.
void DrawSunkenBorder(QPainter& p, const QRect& r, const QPalette& palette) {
    p.setPen(palette.color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette.color(QPalette::Shadow));
    p.drawLine(r.topLeft() + QPoint(1, 1), r.topRight() + QPoint(-1, 1));
    p.drawLine(r.topLeft() + QPoint(1, 1), r.bottomLeft() + QPoint(1, -1));
    p.setPen(palette.color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(palette.color(QPalette::Midlight));
    p.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1));
    p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, -1));
}

} // namespace

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect exposed = event->rect();
    p.fillRect(exposed, ToQColor(backColor_, palette()));
    if (layer_ && HasPicture())
        layer_->Paint(p, exposed);
    else if (HasPicture())
        DrawPicture(p, exposed);
    else if (!emptyText_.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, emptyText_);
    }
    if (borderStyle_ == 1) DrawSunkenBorder(p, rect(), palette());
}

QRect PictureBox::PictureArea() const {
    const int b = borderStyle_ == 1 ? 2 : 0;
    return QRect(QPoint(b, b), QSize(int(std::lround(fullSize_.width() * zoom_)),
                                     int(std::lround(fullSize_.height() * zoom_))));
}

void PictureBox::DrawPicture(QPainter& p, const QRect& area) {
    const QRect whole = PictureArea();
    const int b = whole.left();
    if (tiles_) {
        // Only the tiles of the exposed part, at the level the zoom shows.
        tiles_->Draw(p, area.intersected(whole), QPointF(b, b), zoom_);
    } else if (!picture_.isNull() && !region_.isEmpty()) {
        DrawRegion(p, area, whole, b);
    }
}

bool PictureBox::Sharp(const QRect& area) const {
    if (!tiles_) return true; // a new picture comes through setPicture
    const int b = borderStyle_ == 1 ? 2 : 0;
    const QRectF full(QPointF(area.topLeft() - QPoint(b, b)) / zoom_, QSizeF(area.size()) / zoom_);
    return tiles_->Ready(full.toAlignedRect(), zoom_);
}

void PictureBox::DrawRegion(QPainter& p, const QRect& exposed, const QRect& whole, int b) {
    // Only the exposed part: a large map is drawn a window's worth at a time. The image
    // covers `region_` of the whole picture; box pixels per image pixel:
    const double shown = zoom_ * region_.width() / picture_.width();
    const QRectF placed(QPointF(region_.topLeft()) * zoom_ + QPointF(b, b),
                        QSizeF(region_.size()) * zoom_);
    const QRect at = placed.toAlignedRect();
    const QRect target = exposed.intersected(at).intersected(whole);
    if (target.isEmpty()) {
    } else if (std::abs(shown - 1) < 1e-9) {
        p.drawImage(target, picture_, target.translated(-at.topLeft()));
    } else if (shown < 1) {
        if (scaled_.isNull())
            scaled_ = picture_.scaled(at.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        p.drawImage(target, scaled_, target.translated(-at.topLeft()));
    } else {
        // Whole image pixels, each a sharp square: a map's pixels are data.
        const QRectF wanted = QRectF(target).translated(-placed.topLeft());
        const int left = std::max(0, int(wanted.left() / shown));
        const int top = std::max(0, int(wanted.top() / shown));
        const int right = std::min(picture_.width() - 1, int(wanted.right() / shown));
        const int bottom = std::min(picture_.height() - 1, int(wanted.bottom() / shown));
        const QRect from(QPoint(left, top), QPoint(right, bottom));
        const QRectF to(placed.left() + left * shown, placed.top() + top * shown,
                        from.width() * shown, from.height() * shown);
        p.save();
        p.setClipRect(target, Qt::IntersectClip);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(to, picture_, from);
        p.restore();
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
