#include "ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace fenwyd::ui {

namespace {
constexpr int kIconSize = 32;

void DrawMagnifier(QPainter& p, bool plus) {
    p.setPen(QPen(QColor(40, 40, 40), 3));
    p.setBrush(QColor(210, 235, 255));
    p.drawEllipse(QRectF(4, 4, 18, 18));
    p.setPen(QPen(QColor(60, 40, 20), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 20), QPointF(28, 28));
    p.setPen(QPen(QColor(20, 20, 120), 2.5));
    p.drawLine(QPointF(8.5, 13), QPointF(17.5, 13));
    if (plus) p.drawLine(QPointF(13, 8.5), QPointF(13, 17.5));
}

void DrawIcon(QPainter& p, const QString& key) {
    p.setRenderHint(QPainter::Antialiasing);
    if (key == QLatin1String("Open")) {
        p.setPen(QPen(QColor(120, 90, 20), 1.5));
        p.setBrush(QColor(240, 200, 90));
        QPainterPath back;
        back.moveTo(3, 8);
        back.lineTo(12, 8);
        back.lineTo(14, 11);
        back.lineTo(28, 11);
        back.lineTo(28, 26);
        back.lineTo(3, 26);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(250, 220, 120));
        QPolygonF front;
        front << QPointF(3, 26) << QPointF(8, 15) << QPointF(31, 15) << QPointF(27, 26);
        p.drawPolygon(front);
    } else if (key == QLatin1String("Save")) {
        p.setPen(QPen(QColor(20, 40, 90), 1.5));
        p.setBrush(QColor(50, 90, 170));
        p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
        p.setBrush(QColor(235, 235, 235));
        p.drawRect(QRectF(9, 4, 14, 9));
        p.setBrush(QColor(50, 90, 170));
        p.drawRect(QRectF(18, 5.5, 3, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 17, 16, 11));
        p.setPen(QPen(QColor(150, 150, 150), 1));
        for (int y = 20; y <= 26; y += 3) p.drawLine(10, y, 22, y);
    } else if (key == QLatin1String("Properties")) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 100, 110));
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(16, 16);
            p.rotate(i * 45.0);
            p.drawRect(QRectF(-2.5, -14, 5, 6));
            p.restore();
        }
        p.drawEllipse(QPointF(16, 16), 10, 10);
        p.setBrush(QColor(230, 230, 230));
        p.drawEllipse(QPointF(16, 16), 4, 4);
    } else if (key == QLatin1String("Scatter")) {
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(4, 4, 4, 28);
        p.drawLine(4, 28, 29, 28);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 150, 0));
        const QPointF pts[] = {{8, 22}, {11, 18}, {14, 20}, {17, 13}, {20, 15}, {23, 9}, {26, 7}};
        for (const QPointF& pt : pts) p.drawEllipse(pt, 2, 2);
    } else if (key == QLatin1String("BarGraph")) {
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(4, 28, 29, 28);
        p.setPen(QPen(QColor(0, 90, 0), 1));
        p.setBrush(QColor(0, 190, 0));
        const int heights[] = {8, 14, 20, 12};
        for (int i = 0; i < 4; ++i) p.drawRect(QRectF(6 + i * 6, 28 - heights[i], 4.5, heights[i]));
    } else if (key == QLatin1String("ZoomIn")) {
        DrawMagnifier(p, true);
    } else if (key == QLatin1String("ZoomOut")) {
        DrawMagnifier(p, false);
    } else if (key == QLatin1String("Record")) {
        QRadialGradient g(QPointF(13, 13), 12);
        g.setColorAt(0, QColor(255, 120, 120));
        g.setColorAt(1, QColor(200, 0, 0));
        p.setPen(QPen(QColor(110, 0, 0), 1.5));
        p.setBrush(g);
        p.drawEllipse(QPointF(16, 16), 11, 11);
    } else if (key == QLatin1String("MarkPoint")) {
        // A map pin over the spot it marks.
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        p.setBrush(QColor(170, 170, 170));
        p.drawEllipse(QPointF(16, 28), 7, 2.5);
        QPainterPath pin;
        pin.moveTo(16, 28);
        pin.cubicTo(12, 21, 7, 17, 7, 11.5);
        pin.arcTo(QRectF(7, 2.5, 18, 18), 180, -180);
        pin.cubicTo(25, 17, 20, 21, 16, 28);
        QRadialGradient g(QPointF(13, 9), 12);
        g.setColorAt(0, QColor(255, 130, 110));
        g.setColorAt(1, QColor(200, 30, 20));
        p.setPen(QPen(QColor(110, 10, 0), 1.5));
        p.setBrush(g);
        p.drawPath(pin);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 11.5), 3.5, 3.5);
    } else if (key == QLatin1String("RecordPause")) {
        p.setPen(QPen(QColor(110, 90, 0), 1.5));
        p.setBrush(QColor(240, 200, 0));
        p.drawRoundedRect(QRectF(8, 6, 6, 20), 1.5, 1.5);
        p.drawRoundedRect(QRectF(18, 6, 6, 20), 1.5, 1.5);
    }
}
}  // namespace

QIcon ToolbarIcon(const QString& key) {
    QPixmap pm(kIconSize, kIconSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    DrawIcon(p, key);
    p.end();
    return QIcon(pm);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(ProbeArtwork(size, size));
    return icon;
}

// A hand-held probe with its field lines: black face, green readout.
QPixmap ProbeArtwork(int width, int height) {
    QPixmap pm(width, height);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = std::min(width, height) / 64.0;
    p.translate((width - 64 * s) / 2, (height - 64 * s) / 2);
    p.scale(s, s);

    p.setPen(QPen(QColor(0, 160, 160, 170), 2));
    p.setBrush(Qt::NoBrush);
    for (int r = 10; r <= 28; r += 9)
        p.drawArc(QRectF(32 - r, 12 - r, 2 * r, 2 * r), 20 * 16, 140 * 16);

    QLinearGradient body(18, 0, 46, 0);
    body.setColorAt(0, QColor(60, 60, 66));
    body.setColorAt(1, QColor(25, 25, 30));
    p.setPen(QPen(QColor(10, 10, 10), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(19, 14, 26, 46), 5, 5);
    p.setBrush(QColor(180, 180, 186));
    p.drawEllipse(QRectF(25, 6, 14, 12));
    p.setBrush(Qt::black);
    p.drawRect(QRectF(22, 20, 20, 12));
    p.setPen(QPen(QColor(0, 210, 0), 1.6));
    p.drawLine(QPointF(24.5, 26), QPointF(39.5, 26));
    p.drawLine(QPointF(24.5, 29), QPointF(33, 29));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 0, 0));
    p.drawEllipse(QPointF(26, 40), 2.5, 2.5);
    p.setBrush(QColor(0, 180, 0));
    p.drawEllipse(QPointF(32, 40), 2.5, 2.5);
    p.setBrush(QColor(220, 200, 0));
    p.drawEllipse(QPointF(38, 40), 2.5, 2.5);
    return pm;
}

}  // namespace fenwyd::ui
