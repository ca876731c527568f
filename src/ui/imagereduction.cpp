#include "ui/imagereduction.h"

#include <algorithm>
#include <cmath>

#include <QBuffer>
#include <QImage>

namespace kalvora {

QSize reducedSize(QSize picture, QSize bound)
{
    if (picture.isEmpty() || bound.isEmpty())
        return {};
    const double scale = std::max(double(bound.width()) / picture.width(), double(bound.height()) / picture.height());
    return {static_cast<int>(std::lround(picture.width() * scale)),
            static_cast<int>(std::lround(picture.height() * scale))};
}

std::optional<QByteArray> reducedJpeg(const QString& path, QSize bound)
{
    QImage image(path);
    if (image.isNull())
        return std::nullopt;
    const QSize size = reducedSize(image.size(), bound);
    if (size.isEmpty())
        return std::nullopt;
    const QImage reduced = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!reduced.save(&buffer, "JPEG"))
        return std::nullopt;
    return jpeg;
}

} // namespace kalvora
