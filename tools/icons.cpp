// Draws the program's emblem as PNG icons: varnet_icons SVG OUT_FOLDER SIZE... writes
// OUT_FOLDER/<size>x<size>/varnet.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) return 2;
    QSvgRenderer emblem(QString::fromLocal8Bit(argv[1]));
    if (!emblem.isValid()) return 1;
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder = QString("%1/%2x%2").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QDir().mkpath(folder);
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        emblem.render(&p);
        p.end();
        if (!icon.save(folder + "/varnet.png")) return 1;
    }
    return 0;
}
