#include "res/bitmaps.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

// Pictures are drawn at the screen's pixel ratio, so they stay sharp on
// high-density screens while keeping their size in logical pixels.
QPixmap Canvas(int width, int height)
{
    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(width, height) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A lamp: a coloured disc with a black rim and a soft highlight, 20 by 20 pixels.
QPixmap Lamp(const QColor& colour)
{
    QPixmap pixmap = Canvas(20, 20);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(2.5, 2.5, 15, 15);
    QRadialGradient gradient(disc.center() - QPointF(2.5, 2.5), 10);
    gradient.setColorAt(0.0, colour.lighter(170));
    gradient.setColorAt(0.6, colour);
    gradient.setColorAt(1.0, colour.darker(130));
    painter.setBrush(gradient);
    painter.setPen(QPen(Qt::black, 1.2));
    painter.drawEllipse(disc);
    return pixmap;
}

// The mains wave between its two threshold bands, the picture on the logo and icon.
void DrawWave(QPainter& painter, const QRectF& area, const QColor& wave, const QColor& band, qreal penWidth)
{
    const qreal top = area.top() + area.height() * 0.18;
    const qreal bottom = area.bottom() - area.height() * 0.18;
    painter.setPen(QPen(band, penWidth * 0.6, Qt::DashLine));
    painter.drawLine(QPointF(area.left(), top), QPointF(area.right(), top));
    painter.drawLine(QPointF(area.left(), bottom), QPointF(area.right(), bottom));
    QPainterPath path;
    const int steps = 64;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = static_cast<qreal>(i) / steps;
        const qreal x = area.left() + t * area.width();
        const qreal y = area.center().y() - std::sin(t * 4 * M_PI) * area.height() * 0.28;
        if (i == 0)
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    painter.setPen(QPen(wave, penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

QPixmap Logo()
{
    QPixmap pixmap = Canvas(151, 71);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor navy(24, 54, 96);
    QLinearGradient background(0, 0, 0, 71);
    background.setColorAt(0.0, navy.lighter(125));
    background.setColorAt(1.0, navy);
    painter.setPen(QPen(navy.darker(150), 1));
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 150, 70), 6, 6);

    DrawWave(painter, QRectF(10, 6, 131, 30), QColor(250, 196, 60), QColor(150, 180, 220), 2.0);

    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 36, 151, 22), Qt::AlignCenter, QStringLiteral("KORVEN"));
    font.setPixelSize(9);
    font.setBold(false);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    painter.setFont(font);
    painter.setPen(QColor(190, 210, 235));
    painter.drawText(QRectF(0, 56, 151, 12), Qt::AlignCenter, QStringLiteral("Spannungsüberwachung"));
    return pixmap;
}

} // namespace

QPixmap ProgramIcon(int size)
{
    QPixmap pixmap = Canvas(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor navy(24, 54, 96);
    painter.setPen(QPen(navy.darker(150), size / 32.0));
    painter.setBrush(navy);
    painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
    DrawWave(painter, QRectF(size * 0.12, size * 0.2, size * 0.76, size * 0.6), QColor(250, 196, 60),
             QColor(150, 180, 220), std::max(1.0, size / 14.0));
    return pixmap;
}

QPixmap LoadBitmap(int id)
{
    switch (id) {
    case IDB_LAMP_GREEN:
        return Lamp(QColor(40, 190, 60));
    case IDB_LAMP_RED:
        return Lamp(QColor(220, 40, 30));
    case IDB_LOGO:
        return Logo();
    default:
        return QPixmap();
    }
}

QIcon LoadIcon(int id)
{
    QIcon icon;
    if (id == IDI_PROGRAM) {
        for (int size : {16, 32, 48, 64})
            icon.addPixmap(ProgramIcon(size));
    }
    return icon;
}
