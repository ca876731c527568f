#include "xcshapes/xcshapes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace kalvora::xcshapes {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111194.93;

// Positions are drawn in metres east and north of an origin; near it a metre is
// the same everywhere to far better than the shapes need.
class Drawing
{
public:
    Drawing(std::string name, double lat0, double lon0, int startS)
        : m_lat0(lat0), m_lon0(lon0), m_t(startS), m_cosLat(std::cos(lat0 * kPi / 180))
    {
        m_shape.name = std::move(name);
    }

    void add(double eastM, double northM, int altitudeM = 1500)
    {
        m_shape.fixes.push_back({m_lat0 + northM / kMetresPerDegree,
                                 m_lon0 + eastM / (kMetresPerDegree * m_cosLat), m_t, altitudeM});
        ++m_t;
    }

    Shape take() { return std::move(m_shape); }

private:
    Shape m_shape;
    double m_lat0, m_lon0;
    int m_t;
    double m_cosLat;
};

// Back and forth along a ridge of LENGTH_M for HOURS: turns a little past its
// ends, a lift band that wanders sideways, speed that changes with the wind.
Shape ridge(double lengthM, int hours, unsigned seed)
{
    char name[64];
    std::snprintf(name, sizeof name, "ridge-%gkm-%dh", lengthM / 1000, hours);
    Drawing d(name, 46.71, 7.93, 10 * 3600);
    std::mt19937 rng(seed);
    std::normal_distribution<double> gps(0, 1.5);
    std::uniform_real_distribution<double> u(0, 1);
    const double heading = 35 * kPi / 180; // of the ridge line
    const double ex = std::sin(heading), ey = std::cos(heading);
    double s = lengthM / 2, dir = 1, band = 40, turnEnd = lengthM + 50, turnStart = -50;
    for (int t = 0; t < hours * 3600; ++t) {
        const double speed = 8.5 + 2 * std::sin(t / 411.0) + 0.5 * u(rng);
        s += dir * speed;
        if (dir > 0 && s >= turnEnd) {
            dir = -1;
            turnStart = -150 * u(rng);
            band = 20 + 80 * u(rng);
        } else if (dir < 0 && s <= turnStart) {
            dir = 1;
            turnEnd = lengthM + 150 * u(rng);
            band = 20 + 80 * u(rng);
        }
        const double side = band + 25 * std::sin(t / 53.0) + 10 * std::sin(t / 17.0);
        d.add(s * ex + side * ey + gps(rng), s * ey - side * ex + gps(rng), 1400 + int(100 * std::sin(t / 700.0)));
    }
    return d.take();
}

// Back and forth on one exact line, turning exactly at its ends.
Shape backAndForth(double lengthM, int fixes)
{
    Drawing d("back-and-forth-5km", 45.9, 6.4, 11 * 3600);
    const double heading = 70 * kPi / 180;
    double s = 0, dir = 1;
    for (int t = 0; t < fixes; ++t) {
        d.add(s * std::sin(heading), s * std::cos(heading));
        s += dir * 10;
        if (s >= lengthM || s <= 0) {
            s = std::clamp(s, 0.0, lengthM);
            dir = -dir;
        }
    }
    return d.take();
}

// 200 km in a straight line over FIXES fixes, with GPS noise of NOISE_M (σ) or none.
Shape glide(int fixes, double noiseM, unsigned seed)
{
    Drawing d(noiseM > 0 ? "glide-200km-noisy" : "glide-200km-straight", 44.2, 5.1, 9 * 3600);
    std::mt19937 rng(seed);
    std::normal_distribution<double> gps(0, noiseM > 0 ? noiseM : 1);
    const double heading = 110 * kPi / 180, step = 200000.0 / (fixes - 1);
    for (int t = 0; t < fixes; ++t) {
        const double e = noiseM > 0 ? gps(rng) : 0, n = noiseM > 0 ? gps(rng) : 0;
        d.add(t * step * std::sin(heading) + e, t * step * std::cos(heading) + n, 2000 - t / 40);
    }
    return d.take();
}

// Thermals (circles drifting with the wind) and glides downwind, from (E, N) on.
void crossCountry(Drawing& d, std::mt19937& rng, int seconds, double& e, double& n)
{
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> gps(0, 1.5);
    const double wind = 40 * kPi / 180; // blowing toward
    int t = 0;
    int alt = 1500;
    while (t < seconds) {
        const int climb = 120 + int(300 * u(rng));
        const double r = 40 + 40 * u(rng), cx = e - r, cy = n;
        for (int k = 0; k < climb && t < seconds; ++k, ++t) {
            const double a = 2 * kPi * k / 24.0, drift = 2.5 * k;
            e = cx + r * std::cos(a) + drift * std::sin(wind);
            n = cy + r * std::sin(a) + drift * std::cos(wind);
            d.add(e + gps(rng), n + gps(rng), alt = std::min(3000, alt + 2));
        }
        const int glideS = 200 + int(500 * u(rng));
        const double course = wind + (u(rng) - 0.5) * kPi / 3;
        for (int k = 0; k < glideS && t < seconds; ++k, ++t) {
            e += 11 * std::sin(course);
            n += 11 * std::cos(course);
            d.add(e + gps(rng), n + gps(rng), alt = std::max(300, alt - 1));
        }
    }
}

// Five hours on launch (GPS wander of a metre or two), then forty minutes of flying.
Shape parked(unsigned seed)
{
    Drawing d("parked-5h-then-40min", 47.1, 11.3, 8 * 3600);
    std::mt19937 rng(seed);
    std::normal_distribution<double> gps(0, 1.0);
    for (int t = 0; t < 5 * 3600; ++t)
        d.add(gps(rng), gps(rng), 1800);
    double e = 0, n = 0;
    crossCountry(d, rng, 40 * 60, e, n);
    return d.take();
}

// Twenty hours at one fix a second, from 06:00 UTC: it passes midnight.
Shape longFlight(unsigned seed)
{
    Drawing d("long-20h", -31.5, 147.2, 6 * 3600);
    std::mt19937 rng(seed);
    double e = 0, n = 0;
    crossCountry(d, rng, 20 * 3600, e, n);
    return d.take();
}

Shape still(int fixes)
{
    Drawing d("still", 46.0, 8.0, 12 * 3600);
    for (int t = 0; t < fixes; ++t)
        d.add(0, 0, 600);
    return d.take();
}

} // namespace

std::vector<Shape> allShapes()
{
    std::vector<Shape> shapes;
    shapes.push_back(ridge(2000, 2, 11));
    shapes.push_back(ridge(3000, 4, 12));
    shapes.push_back(ridge(3000, 8, 13));
    shapes.push_back(ridge(5000, 12, 14));
    shapes.push_back(backAndForth(5000, 40000));
    shapes.push_back(glide(40000, 3, 15));
    shapes.push_back(glide(40000, 0, 16));
    shapes.push_back(parked(17));
    shapes.push_back(longFlight(18));
    shapes.push_back(still(20000));
    return shapes;
}

Shape thinned(const Shape& shape, int stride)
{
    Shape out{shape.name, {}};
    const std::size_t n = shape.fixes.size();
    for (std::size_t i = 0; i < n; i += std::size_t(std::max(1, stride)))
        out.fixes.push_back(shape.fixes[i]);
    if (n > 0 && (n - 1) % std::size_t(std::max(1, stride)) != 0)
        out.fixes.push_back(shape.fixes.back());
    return out;
}

std::vector<std::string> igcLines(const Shape& shape)
{
    std::vector<std::string> lines{"AXXX001 generated flight shape", "HFDTE210626", "HFFXA035",
                                   "HFGTYGLIDERTYPE:test wing"};
    char line[96];
    for (const ShapeFix& f : shape.fixes) {
        const int tod = f.timeS % 86400;
        const long latM = std::lround(std::fabs(f.latitudeDeg) * 60000);
        const long lonM = std::lround(std::fabs(f.longitudeDeg) * 60000);
        const int alt = std::clamp(f.altitudeM, 0, 99999);
        std::snprintf(line, sizeof line, "B%02d%02d%02d%02ld%05ld%c%03ld%05ld%cA%05d%05d", tod / 3600, tod / 60 % 60,
                      tod % 60, latM / 60000, latM % 60000, f.latitudeDeg < 0 ? 'S' : 'N', lonM / 60000, lonM % 60000,
                      f.longitudeDeg < 0 ? 'W' : 'E', alt, alt);
        lines.emplace_back(line);
    }
    return lines;
}

} // namespace kalvora::xcshapes
