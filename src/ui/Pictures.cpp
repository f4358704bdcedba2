#include "ui/Pictures.h"

#include "view/PictureBox.h"

#include <QApplication>
#include <QBuffer>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <functional>
#include <future>
#include <mutex>
#include <system_error>

namespace {

const QColor kInk(40, 40, 40);

void Page(QPainter& p, QColor fill = Qt::white) {
    p.setPen(kInk);
    p.setBrush(fill);
    QPolygon page;
    page << QPoint(3, 1) << QPoint(10, 1) << QPoint(13, 4) << QPoint(13, 14) << QPoint(3, 14);
    p.drawPolygon(page);
    p.drawLine(10, 1, 10, 4);
    p.drawLine(10, 4, 13, 4);
}

void Folder(QPainter& p, bool open) {
    p.setPen(QColor(120, 90, 10));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(1, 4, 13, 9);
    p.drawRect(1, 3, 5, 1);
    if (open) {
        p.setBrush(QColor(255, 228, 130));
        QPolygon flap;
        flap << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 13) << QPoint(1, 13);
        p.drawPolygon(flap);
    }
}

void Drive(QPainter& p, QColor body, QColor light) {
    p.setPen(kInk);
    p.setBrush(body);
    p.drawRect(1, 7, 13, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawRect(11, 9, 2, 2);
}

void MapLines(QPainter& p) {
    p.setPen(QColor(40, 120, 200));
    p.drawLine(5, 6, 11, 6);
    p.drawLine(5, 9, 11, 9);
    p.setPen(QColor(40, 150, 60));
    p.drawLine(5, 12, 9, 12);
}

void Letter(QPainter& p, const QString& text, bool bold, bool italic, bool underline) {
    QFont f("Sans Serif");
    f.setPixelSize(13);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, text);
}

void Lines(QPainter& p, int align) {
    p.setPen(kInk);
    const int widths[] = {12, 8, 12, 6};
    for (int i = 0; i < 4; ++i) {
        const int w = widths[i];
        const int x = align == 0 ? 2 : align == 1 ? 8 - w / 2 : 14 - w;
        p.drawLine(x, 3 + 3 * i, x + w - 1, 3 + 3 * i);
    }
}

void UnknownDrive(QPainter& p) {
    Drive(p, QColor(200, 200, 200), Qt::gray);
    p.setPen(QColor(180, 0, 0));
    QFont f;
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 8), Qt::AlignCenter, "?");
}

void FixedDrive(QPainter& p) {
    Drive(p, QColor(190, 190, 190), QColor(0, 200, 0));
}

void RamDrive(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(QColor(30, 110, 60));
    p.drawRect(2, 5, 11, 6);
    for (int x = 3; x <= 12; x += 3) {
        p.drawLine(x, 3, x, 5);
        p.drawLine(x, 11, x, 13);
    }
}

void RemovableDrive(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(QColor(60, 60, 140));
    p.drawRect(2, 2, 11, 11);
    p.setBrush(QColor(220, 220, 220));
    p.drawRect(5, 2, 5, 4);
    p.setBrush(Qt::white);
    p.drawRect(4, 8, 7, 5);
}

void CdDrive(QPainter& p) {
    p.setPen(kInk);
    QRadialGradient g(QPointF(8, 8), 7);
    g.setColorAt(0, QColor(230, 230, 255));
    g.setColorAt(1, QColor(170, 190, 230));
    p.setBrush(g);
    p.drawEllipse(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawEllipse(6, 6, 3, 3);
}

void RemoteDrive(QPainter& p) {
    Drive(p, QColor(190, 190, 190), QColor(0, 200, 0));
    p.setPen(QColor(0, 90, 160));
    p.drawLine(7, 12, 7, 15);
    p.drawLine(3, 15, 12, 15);
    p.drawLine(4, 2, 10, 2);
    p.drawLine(7, 2, 7, 6);
}

void MapFile(QPainter& p) {
    Page(p);
    MapLines(p);
}

void BadFile(QPainter& p) {
    Page(p);
    QPen red(QColor(200, 0, 0));
    red.setWidth(2);
    p.setPen(red);
    p.drawLine(5, 6, 11, 12);
    p.drawLine(11, 6, 5, 12);
}

void Save(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(QColor(50, 50, 120));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(3, 1, 9, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(4, 9, 7, 5);
}

void Print(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(1, 6, 13, 6);
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 7, 5);
    p.setPen(QColor(0, 170, 0));
    p.drawPoint(12, 8);
}

void Cut(QPainter& p) {
    p.setPen(kInk);
    p.drawLine(4, 1, 10, 10);
    p.drawLine(11, 1, 5, 10);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(2, 10, 4, 4);
    p.drawEllipse(9, 10, 4, 4);
}

void Copy(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 8, 10);
    p.drawRect(6, 4, 8, 10);
}

void Paste(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(QColor(180, 130, 60));
    p.drawRect(2, 2, 10, 12);
    p.setBrush(Qt::white);
    p.drawRect(6, 6, 8, 9);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(5, 1, 4, 2);
}

} // namespace

void DrawPicture(QPainter& p, const QString& key) {
    using Draw = void (*)(QPainter&);
    static const QHash<QString, Draw> pictures = {
        {"unknown", UnknownDrive},
        {"fixed", FixedDrive},
        {"ram", RamDrive},
        {"remove", RemovableDrive},
        {"cd", CdDrive},
        {"folder", [](QPainter& q) { Folder(q, false); }},
        {"open", [](QPainter& q) { Folder(q, true); }},
        {"remote", RemoteDrive},
        {"File", MapFile},
        {"FileX", BadFile},
        {"New", [](QPainter& q) { Page(q); }},
        {"Open", [](QPainter& q) { Folder(q, true); }},
        {"Save", Save},
        {"Print", Print},
        {"Cut", Cut},
        {"Copy", Copy},
        {"Paste", Paste},
        {"Bold", [](QPainter& q) { Letter(q, "B", true, false, false); }},
        {"Italic", [](QPainter& q) { Letter(q, "I", false, true, false); }},
        {"Underline", [](QPainter& q) { Letter(q, "U", false, false, true); }},
        {"Align Left", [](QPainter& q) { Lines(q, 0); }},
        {"Center", [](QPainter& q) { Lines(q, 1); }},
        {"Align Right", [](QPainter& q) { Lines(q, 2); }},
    };
    if (const Draw draw = pictures.value(key)) draw(p);
}

QPixmap DrawPicture(const QString& key) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    DrawPicture(p, key);
    return pm;
}

// The program's resources live in a static library, whose registration nothing else would pull in.
static bool LoadResources() {
    Q_INIT_RESOURCE(varnet);
    return true;
}

namespace {

// The program's emblem, a globe with its graticule, drawn from its one source picture. The splash
// logo may be drawn on a thread of its own while the windows are made, so one drawing at a time.
void Globe(QPainter& p, const QRectF& r) {
    static std::mutex one;
    const std::lock_guard<std::mutex> lock(one);
    static const bool loaded = LoadResources();
    static QSvgRenderer emblem(QStringLiteral(":/varnet/varnet.svg"));
    (void)loaded;
    // Made on a drawing thread that ends, it belongs to the program's thread.
    if (emblem.thread() != QCoreApplication::instance()->thread())
        emblem.moveToThread(QCoreApplication::instance()->thread());
    p.setRenderHint(QPainter::Antialiasing);
    emblem.render(&p, r);
}

void DrawAboutIcon(QPainter& p) {
    Globe(p, QRectF(2, 2, 28, 28));
}

void DrawSplashLogo(QPainter& p) {
    p.fillRect(QRectF(0, 0, 141, 166), QColor(240, 240, 232));
    Globe(p, QRectF(10, 18, 121, 121));
    p.setPen(QColor(60, 60, 60));
    p.setBrush(QColor(250, 250, 245));
    // A folded map sheet in front of the globe.
    QPolygonF sheet;
    sheet << QPointF(30, 118) << QPointF(58, 110) << QPointF(84, 118) << QPointF(112, 110)
          << QPointF(112, 150) << QPointF(84, 158) << QPointF(58, 150) << QPointF(30, 158);
    p.drawPolygon(sheet);
    p.drawLine(QPointF(58, 110), QPointF(58, 150));
    p.drawLine(QPointF(84, 118), QPointF(84, 158));
    p.setPen(QPen(QColor(200, 40, 40), 2));
    p.drawLine(QPointF(40, 140), QPointF(70, 128));
    p.drawLine(QPointF(70, 128), QPointF(100, 136));
}

using Drawing = std::function<void(QPainter&)>;

// A drawing of `size` units made into pixels: `pixels` of them, for `scale` pixels a unit.
// An image, not a pixmap, so that it can be made on any thread.
QImage Render(const Drawing& draw, QSizeF size, QSize pixels) {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(pixels.width() / size.width(), pixels.height() / size.height());
    draw(p);
    return image;
}

// An icon drawn afresh for each size and screen density it is asked for, never a smaller
// picture enlarged.
class DrawnIcon : public QIconEngine {
public:
    DrawnIcon(Drawing draw, QSizeF size) : draw_(std::move(draw)), size_(size) {}
    QPixmap pixmap(const QSize& pixels, QIcon::Mode mode, QIcon::State) override {
        const quint64 key = quint64(pixels.width()) << 32 | quint64(pixels.height()) << 4 | mode;
        if (auto it = made_.constFind(key); it != made_.constEnd()) return *it;
        QPixmap pm = QPixmap::fromImage(Render(draw_, size_, pixels));
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(mode, pm, &option);
        }
        made_.insert(key, pm);
        return pm;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal dpr = painter->device()->devicePixelRatioF();
        QPixmap pm = pixmap((QSizeF(rect.size()) * dpr).toSize(), mode, state);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }
    QIconEngine* clone() const override { return new DrawnIcon(*this); }

private:
    Drawing draw_;
    QSizeF size_;
    QHash<quint64, QPixmap> made_;
};

// Drawn over a picture box, in the place of the picture it holds, at the screen's density. Each
// density's rendering is made once: drawing the emblem's gradients costs milliseconds.
class SharpPicture : public QWidget {
public:
    SharpPicture(PictureBox* box, Drawing draw, QSize size, const QImage& atOne)
        : QWidget(box), box_(box), draw_(std::move(draw)), size_(size), made_(atOne) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        const int border = box->BorderStyle() == 1 ? 2 : 0;
        setGeometry(QRect(QPoint(border, border), size));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        // The density of what is painted on, which need not be the screen's.
        const qreal dpr = p.paintEngine()->paintDevice()->devicePixelRatioF();
        if (made_.devicePixelRatio() != dpr) {
            made_ = Render(draw_, size_, (QSizeF(size_) * dpr).toSize());
            made_.setDevicePixelRatio(dpr);
        }
        p.fillRect(rect(), ToQColor(box_->BackColor(), box_->palette()));
        p.drawImage(QRectF(QPointF(0, 0), QSizeF(size_)), made_);
    }

private:
    PictureBox* box_;
    Drawing draw_;
    QSize size_;
    QImage made_;
};

// `atOne`, when not null, is the drawing made already at one pixel a unit.
void ShowSharp(PictureBox* box, const Drawing& draw, QSize size, QImage atOne = {}) {
    if (atOne.isNull()) atOne = Render(draw, size, size);
    box->setPicture(atOne);
    new SharpPicture(box, draw, size, atOne);
}

} // namespace

QIcon PictureIcon(const QString& key) {
    return QIcon(new DrawnIcon([key](QPainter& p) { DrawPicture(p, key); }, QSizeF(16, 16)));
}

QIcon ProgramIcon() {
    return QIcon(new DrawnIcon(DrawAboutIcon, QSizeF(32, 32)));
}

void ShowAboutIcon(PictureBox* box) {
    ShowSharp(box, DrawAboutIcon, QSize(32, 32));
}

namespace {
const QSize kSplashLogo(141, 166);
std::future<QImage> splashLogo;
} // namespace

void PrepareSplashLogo() {
    try {
        splashLogo = std::async(std::launch::async, [] {
            // Qt loads its picture readers when it first reads a picture, as the style does to
            // draw the splash's frame: a millisecond and more, taken here instead.
            QBuffer one;
            one.open(QIODevice::ReadWrite);
            QImage(1, 1, QImage::Format_Grayscale8).save(&one, "PNG");
            one.seek(0);
            QImageReader(&one).read();
            return Render(DrawSplashLogo, kSplashLogo, kSplashLogo);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the logo is drawn when the splash is made.
    }
}

void ShowSplashLogo(PictureBox* box) {
    QImage drawn;
    try {
        if (splashLogo.valid()) drawn = splashLogo.get();
    } catch (const std::exception&) {
        // Its drawing failed there (no memory for it): it is drawn here, or fails as it would.
    }
    ShowSharp(box, DrawSplashLogo, kSplashLogo, drawn);
}
