#include "tileserver/tilegen.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace kalvora::tilegen {
namespace {

double hash(std::int64_t x, std::int64_t y)
{
    std::uint64_t h = std::uint64_t(x) * 0x9E3779B97F4A7C15ULL ^
                      (std::uint64_t(y) + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 29;
    return double(h & 0xFFFFFF) / double(0xFFFFFF);
}

double smooth(double t)
{
    return t * t * (3 - 2 * t);
}

double valueNoise(double x, double y)
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const auto ix = std::int64_t(fx);
    const auto iy = std::int64_t(fy);
    const double tx = smooth(x - fx);
    const double ty = smooth(y - fy);
    const double a = hash(ix, iy), b = hash(ix + 1, iy), c = hash(ix, iy + 1), d = hash(ix + 1, iy + 1);
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

/** [m] Height at world point (WX, WY) in units where the world is 2^20 wide. */
double height(double wx, double wy)
{
    double sum = 0;
    double amplitude = 1;
    double frequency = 1.0 / 320;
    double norm = 0;
    for (int octave = 0; octave < 9; ++octave) {
        // Ridged octaves make mountain crests rather than blobs.
        const double n = valueNoise(wx * frequency, wy * frequency);
        sum += amplitude * (octave < 2 ? n : 1 - std::abs(2 * n - 1));
        norm += amplitude;
        amplitude *= 0.48;
        frequency *= 2.1;
    }
    return std::pow(sum / norm, 1.6) * 3600 + 200;
}

QColor tint(double h)
{
    struct Stop
    {
        double h;
        QColor c;
    };
    static const Stop stops[] = {{200, QColor(170, 205, 150)},  {700, QColor(200, 220, 160)},
                                 {1300, QColor(225, 215, 165)}, {1900, QColor(205, 180, 140)},
                                 {2500, QColor(180, 160, 140)}, {3000, QColor(235, 235, 235)},
                                 {3800, QColor(255, 255, 255)}};
    if (h <= stops[0].h)
        return stops[0].c;
    for (std::size_t i = 1; i < std::size(stops); ++i) {
        if (h <= stops[i].h) {
            const double t = (h - stops[i - 1].h) / (stops[i].h - stops[i - 1].h);
            const QColor& a = stops[i - 1].c;
            const QColor& b = stops[i].c;
            return QColor(int(a.red() + (b.red() - a.red()) * t),
                          int(a.green() + (b.green() - a.green()) * t),
                          int(a.blue() + (b.blue() - a.blue()) * t));
        }
    }
    return stops[std::size(stops) - 1].c;
}

} // namespace

QByteArray tilePng(int z, int x, int y, int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    const double worldPerTile = std::exp2(20 - z);
    const double step = worldPerTile / size;
    const double lakeLevel = 420;
    const double contour = z >= 12 ? 100 : z >= 10 ? 200 : 500;
    for (int py = 0; py < size; ++py) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        for (int px = 0; px < size; ++px) {
            const double wx = (x * double(size) + px) * step;
            const double wy = (y * double(size) + py) * step;
            const double h = height(wx, wy);
            if (h < lakeLevel) {
                line[px] = qRgb(160, 200, 235);
                continue;
            }
            // Light from the north-west.
            const double dx = height(wx + step, wy) - h;
            const double dy = height(wx, wy + step) - h;
            const double metresPerStep = step * 38.0;
            const double shade = std::clamp(1.0 - (dx + dy) / metresPerStep * 0.35, 0.7, 1.15);
            QColor c = tint(h);
            int r = std::clamp(int(c.red() * shade), 0, 255);
            int g = std::clamp(int(c.green() * shade), 0, 255);
            int b = std::clamp(int(c.blue() * shade), 0, 255);
            if (std::floor(h / contour) != std::floor((h + std::max(std::abs(dx), std::abs(dy))) / contour)) {
                r = r * 3 / 4 + 30;
                g = g * 3 / 4 + 15;
                b = b * 3 / 4;
            }
            line[px] = qRgb(r, g, b);
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace kalvora::tilegen
