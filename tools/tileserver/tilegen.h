#pragma once

#include <QByteArray>

namespace kalvora::tilegen {

/**
 * The PNG of tile X, Y at zoom Z, SIZE pixels square (256, or 512 for "@2x"):
 * shaded relief with height tints, lakes, contour lines and a few roads, all
 * a function of the position, so neighbouring tiles and zoom levels match.
 */
QByteArray tilePng(int z, int x, int y, int size = 256);

} // namespace kalvora::tilegen
