#include "ui/imagereduction.h"

#include <algorithm>
#include <cmath>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>

namespace kalvora {

namespace {

/** The longest side a reduced picture may get, in bounds: a sliver is not blown up to a strip. */
constexpr int kMaxSideInBounds = 10;

} // namespace

QSize reducedSize(QSize picture, QSize bound)
{
    if (picture.isEmpty() || bound.isEmpty())
        return {};
    double scale = std::max(double(bound.width()) / picture.width(), double(bound.height()) / picture.height());
    const double longest = double(std::max(picture.width(), picture.height()));
    const double maxSide = double(kMaxSideInBounds) * std::max(bound.width(), bound.height());
    scale = std::min(scale, maxSide / longest);
    return {std::max(1, static_cast<int>(std::lround(picture.width() * scale))),
            std::max(1, static_cast<int>(std::lround(picture.height() * scale)))};
}

std::optional<QByteArray> reducedJpeg(const QString& path, QSize bound)
{
    QImageReader reader(path);
    // A camera's portrait picture is stored sideways with an orientation tag.
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    const QSize size = reducedSize(image.size(), bound);
    if (size.isEmpty())
        return std::nullopt;
    // JPEG has no transparency: transparent parts come out white, as on the page, not black.
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), size), image);
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!canvas.save(&buffer, "JPEG"))
        return std::nullopt;
    return jpeg;
}

} // namespace kalvora
