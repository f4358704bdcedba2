#pragma once
// A picture box: a container that can show a picture, with an optional single border, a scale
// in twips or a user coordinate system, a background colour and a mouse pointer shape.

#include "view/Twips.h"

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

namespace Picture {
class Tiled;
}

// Colours as the window system writes them: 0x00BBGGRR, or 0x800000nn for system colour nn.
constexpr std::uint32_t kButtonFace = 0x8000000Fu;
QColor ToQColor(std::uint32_t colour, const QPalette& palette);

// What a picture box draws over its picture (the grid's lines): given the box's paint of its
// picture, the layer draws the picture (through PictureBox::DrawPicture, or from pixels it keeps
// of picture and layer together) and itself over it. A layer has no widget of its own, whose
// moving and painting would cost each pan of a big map as much again as the lines themselves.
class PictureLayer {
public:
    virtual ~PictureLayer() = default;
    // Draws the picture and the layer over it within `exposed` (pixels of the box), its
    // background filled already.
    virtual void Paint(QPainter& painter, const QRect& exposed) = 0;
    // The picture drawn has changed: its pixels, its zoom or its background.
    virtual void PictureChanged() = 0;
};

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // 0 none, 1 fixed single (two pixels each side: a border allowance of 60 twips).
    int BorderStyle() const { return borderStyle_; }
    void setBorderStyle(int style);
    // Sizes the box to each picture put into it.
    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool on) { autoSize_ = on; }

    const QImage& Picture() const { return picture_; }
    // True once a picture is set, even before any of its pixels are (the background shows).
    bool HasPicture() const { return fullSize_.isValid() && !fullSize_.isEmpty(); }
    // The picture; `fullSize` is the size in pixels of the whole picture it stands for, when it
    // was decoded at a reduced scale or is a part of it, and `region` the part it shows (in
    // pixels of the whole, by default all of it). The box shows the whole at `fullSize` times
    // Zoom(); what the image does not cover shows the background. A null image with a size
    // stands for a picture none of whose pixels are there yet.
    void setPicture(QImage image, QSize fullSize = {}, QRect region = {});
    void ClearPicture();
    // A picture drawn from its tiles (see Picture::Tiled), at its full size in pixels.
    void setTiles(std::shared_ptr<Picture::Tiled> tiles, QSize fullSize);
    const std::shared_ptr<Picture::Tiled>& Tiles() const { return tiles_; }
    // The size in pixels of the picture shown, as it stands at full scale.
    QSize FullSize() const { return fullSize_; }
    // Where the whole picture lies at the zoom, in pixels of the box (inside its border).
    QRect PictureArea() const;

    // Zoom: the picture is shown at its full size times this factor. Below 1 it is drawn
    // smoothly scaled (made once per factor), above 1 its pixels stay sharp squares. An
    // autosizing box takes the picture's size in twips times the factor.
    double Zoom() const { return zoom_; }
    void setZoom(double factor);
    // The picture pixel (at full scale) under a point of the box, in pixels of the box; nothing
    // off the picture.
    std::optional<QPoint> PixelAt(QPointF point) const;
    // The point of the box at the centre of a picture pixel, in pixels of the box.
    QPointF PointOf(QPointF pixel) const;

    // Outer size, borders included, and the interior, in twips.
    float Width() const { return Twips::Width(this); }
    float Height() const { return Twips::Height(this); }
    float BorderAllowance() const { return borderStyle_ == 1 ? 4 * Twips::kPerPixel : 0; }
    float InnerWidth() const { return Width() - BorderAllowance(); }
    float InnerHeight() const { return Height() - BorderAllowance(); }

    // The coordinate system of the interior: twips from the top-left corner until Scale() sets
    // a user system (left, top, width, height; a negative height runs upwards).
    float ScaleLeft() const { return userScale_ ? scale_.left : 0; }
    float ScaleTop() const { return userScale_ ? scale_.top : 0; }
    float ScaleWidth() const { return userScale_ ? scale_.width : InnerWidth(); }
    float ScaleHeight() const { return userScale_ ? scale_.height : InnerHeight(); }
    void Scale(float x1, float y1, float x2, float y2);
    void ScaleToTwips() { userScale_ = false; }
    bool HasUserScale() const { return userScale_; }

    std::uint32_t BackColor() const { return backColor_; }
    void setBackColor(std::uint32_t colour);
    // 0 default, 7 north-south sizing, 9 west-east sizing.
    int MousePointer() const { return mousePointer_; }
    void setMousePointer(int pointer);

    // Drawn over the picture while there is one (not owned; nullptr: none).
    void setLayer(PictureLayer* layer) { layer_ = layer; }
    // Draws the picture within `area` (pixels of the box), within the painter's clip.
    void DrawPicture(QPainter& p, const QRect& area);
    // True when what `area` (pixels of the box) shows of the picture is as sharp as it will be.
    bool Sharp(const QRect& area) const;

    // A line of text drawn in the middle when there is no picture (used to say why).
    void setEmptyText(const QString& text);
    QString EmptyText() const { return emptyText_; }

signals:
    // Buttons: 1 left, 2 right, 4 middle; shift: 1 Shift, 2 Ctrl, 4 Alt; x, y in twips.
    void MouseDown(int button, int shift, float x, float y);
    void MouseMove(int button, int shift, float x, float y);
    void MouseUp(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FitToPicture();
    void Changed(); // the layer told
    // Draws the exposed part of the held picture (its `region_`), `whole` being the whole
    // picture's place at the zoom inside a border of `b` pixels.
    void DrawRegion(QPainter& p, const QRect& exposed, const QRect& whole, int b);
    int borderStyle_ = 0;
    bool autoSize_ = false;
    QImage picture_;
    std::shared_ptr<Picture::Tiled> tiles_;
    QSize fullSize_;
    QRect region_;
    double zoom_ = 1;
    QImage scaled_; // the picture smoothly scaled for a zoom below 1, made when first drawn
    bool userScale_ = false;
    struct {
        float left = 0, top = 0, width = 0, height = 0;
    } scale_;
    std::uint32_t backColor_ = kButtonFace;
    int mousePointer_ = 0;
    QString emptyText_;
    PictureLayer* layer_ = nullptr;
    QMetaObject::Connection tilesChanged_;
};

// Mouse state in the program's own codes.
int ButtonCode(Qt::MouseButtons buttons);
int ShiftCode(Qt::KeyboardModifiers modifiers);
