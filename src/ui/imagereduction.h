#pragma once

#include <optional>

#include <QByteArray>
#include <QSize>

class QImage;

namespace kalvora {

/**
 * The size a picture is drawn at for a bounding box: scaled by the larger of
 * bound/width and bound/height, so the shorter side meets its bound and the
 * longer one may exceed it (400 x 200 in 120 x 120 gives 240 x 120), though
 * never beyond ten bounds (a 1 x 400 sliver is not made 120 x 48000). Any thread.
 */
[[nodiscard]] QSize reducedSize(QSize picture, QSize bound);

/**
 * The picture in @p path, turned upright by its orientation tag, drawn on white
 * at reducedSize() and encoded as JPEG; nullopt when it cannot be loaded.
 */
[[nodiscard]] std::optional<QByteArray> reducedJpeg(const QString& path, QSize bound);

} // namespace kalvora
