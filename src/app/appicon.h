#pragma once

#include <QIcon>
#include <QImage>

namespace kalvora {

/**
 * Kalvora's icon at SIZE x SIZE pixels: the logbook with a paraglider of
 * data/kalvora.svg, painted from the same shapes so that the PNG sizes of the
 * icon theme and the running application need no SVG renderer.
 */
[[nodiscard]] QImage paintAppIcon(int size);

/**
 * The installed theme icon "kalvora" when there is one, else the painted one
 * (a run from the build folder). Needs a QGuiApplication.
 */
[[nodiscard]] QIcon appIcon();

/** The square sizes installed into the hicolor theme besides the SVG. */
inline constexpr int AppIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

} // namespace kalvora
