#include "app/appicon.h"

#include <QPainter>
#include <QPainterPath>

namespace kalvora {

QImage paintAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (size <= 0)
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The shapes are those of kalvora.svg, whose view box is 128 units wide.
    painter.scale(size / 128.0, size / 128.0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x5d, 0x8a));
    painter.drawRoundedRect(QRectF(18, 10, 92, 108), 8, 8);
    painter.setBrush(QColor(0xf4, 0xf1, 0xe8));
    painter.drawRoundedRect(QRectF(26, 18, 76, 92), 4, 4);

    QPainterPath wing(QPointF(34, 52));
    wing.quadTo(QPointF(64, 28), QPointF(94, 52));
    wing.quadTo(QPointF(64, 42), QPointF(34, 52));
    wing.closeSubpath();
    painter.setPen(QPen(QColor(0x9c, 0x3f, 0x14), 2));
    painter.setBrush(QColor(0xe0, 0x67, 0x2c));
    painter.drawPath(wing);

    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5));
    painter.drawLine(QPointF(40, 51), QPointF(60, 76));
    painter.drawLine(QPointF(88, 51), QPointF(68, 76));
    painter.drawLine(QPointF(64, 44), QPointF(64, 76));

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x5d, 0x8a));
    painter.drawEllipse(QPointF(64, 79), 4, 4);

    QPen lines(QColor(0x9a, 0xa6, 0xb2), 3);
    lines.setCapStyle(Qt::RoundCap);
    painter.setPen(lines);
    painter.drawLine(QPointF(36, 96), QPointF(92, 96));
    painter.drawLine(QPointF(36, 102), QPointF(80, 102));
    return image;
}

QIcon appIcon()
{
    QIcon painted;
    for (int size : AppIconSizes)
        painted.addPixmap(QPixmap::fromImage(paintAppIcon(size)));
    return QIcon::fromTheme(QStringLiteral("kalvora"), painted);
}

} // namespace kalvora
