#include "app/Icons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>

#include "core/Picture.h"

namespace {

QPixmap Canvas(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

}  // namespace

QIcon AppIcon() {
    // a small height image with two bumps, shown through the default palette
    const int n = 64;
    TQTVPicture pic;
    QImage img(n, n, QImage::Format_ARGB32);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double dx1 = x - 22, dy1 = y - 24, dx2 = x - 42, dy2 = y - 40;
            const double h = std::exp(-(dx1 * dx1 + dy1 * dy1) / 140.0) +
                             0.8 * std::exp(-(dx2 * dx2 + dy2 * dy2) / 110.0) +
                             0.08 * std::sin(x * 0.6) * std::cos(y * 0.5);
            int i = static_cast<int>(std::lround(std::clamp(h, 0.0, 1.0) * 255));
            img.setPixel(x, y, pic.PaletteColor(i) | 0xFF000000u);
        }
    QPixmap pm = Canvas(n);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(1, 1, n - 2, n - 2), 10, 10);
    p.setClipPath(clip);
    p.drawImage(0, 0, img);
    p.setClipping(false);
    p.setPen(QPen(QColor(40, 20, 20), 2));
    p.drawPath(clip);
    return QIcon(pm);
}

QIcon FilterGlyph() {
    QPixmap pm = Canvas(24);
    QPainter p(&pm);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int g = (r == 1 && c == 1) ? 60 : 170;
            p.fillRect(3 + c * 6, 3 + r * 6, 5, 5, QColor(g, g, 220));
        }
    p.setPen(QColor(20, 20, 80));
    p.drawRect(2, 2, 18, 18);
    return QIcon(pm);
}

QIcon LevelGlyph() {
    QPixmap pm = Canvas(24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(180, 40, 40), 2, Qt::DashLine));
    p.drawLine(3, 18, 21, 8);
    p.setPen(QPen(QColor(20, 100, 20), 2));
    p.drawLine(3, 14, 21, 14);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(2, 21, 22, 21);
    return QIcon(pm);
}

QIcon HistogramGlyph() {
    QPixmap pm = Canvas(24);
    QPainter p(&pm);
    const int h[] = {3, 8, 14, 18, 12, 6, 2};
    for (int i = 0; i < 7; ++i) p.fillRect(2 + i * 3, 21 - h[i], 2, h[i], QColor(40, 70, 160));
    p.setPen(Qt::black);
    p.drawLine(1, 21, 23, 21);
    return QIcon(pm);
}

QIcon OpenGlyph() {
    QPixmap pm = Canvas(24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(120, 90, 20));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(2, 6, 18, 14);
    p.setBrush(QColor(250, 225, 130));
    const QPointF flap[] = {{2, 20}, {6, 10}, {23, 10}, {20, 20}};
    p.drawPolygon(flap, 4);
    return QIcon(pm);
}

QIcon SaveGlyph() {
    QPixmap pm = Canvas(24);
    QPainter p(&pm);
    p.setPen(QColor(20, 30, 90));
    p.setBrush(QColor(60, 90, 180));
    p.drawRect(2, 2, 19, 19);
    p.setBrush(Qt::white);
    p.drawRect(6, 3, 11, 7);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(6, 14, 11, 7);
    return QIcon(pm);
}

QIcon ExitGlyph() {
    QPixmap pm = Canvas(24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(90, 60, 30));
    p.setBrush(QColor(170, 120, 70));
    p.drawRect(4, 2, 12, 20);
    p.setPen(QPen(QColor(190, 30, 30), 2));
    p.drawLine(12, 12, 22, 12);
    p.drawLine(18, 8, 22, 12);
    p.drawLine(18, 16, 22, 12);
    return QIcon(pm);
}
