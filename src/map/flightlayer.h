#pragma once

#include <QImage>
#include <QPolygonF>
#include <QRectF>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "map/flighttrack.h"
#include "map/tilemap.h"

namespace kalvora::map {

/** How a single shown track is coloured; several tracks always take their own colours. */
enum class TrackColouring
{
    Plain,
    Altitude,
    Climb,
};

/**
 * Flight tracks over the map: each in its colour with a halo, take-off and
 * landing marks, the scored turnpoints and figure with its distance, and a
 * cursor on one fix of the first track. The tracks are projected once; for
 * each zoom level a simplified copy (half a pixel of tolerance) split into
 * chunks with bounds is made on first use and kept; the tracks are drawn once
 * for an area larger than the view, and panning at one zoom reuses that image. Simplification serves drawing
 * only; figures and the cursor use every fix.
 */
class FlightLayer final : public MapLayer
{
public:
    void setTracks(std::vector<FlightTrack> tracks);
    [[nodiscard]] const std::vector<FlightTrack>& tracks() const { return m_tracks; }

    void setColouring(TrackColouring colouring)
    {
        if (colouring != m_colouring)
            ++m_version;
        m_colouring = colouring;
    }
    [[nodiscard]] TrackColouring colouring() const { return m_colouring; }
    /** Whether the colouring applies: exactly one track is shown. */
    [[nodiscard]] bool isColoured() const
    {
        return m_tracks.size() == 1 && m_colouring != TrackColouring::Plain;
    }

    /** The cursor at fix FIX of the first track; nullopt hides it. */
    void setCursor(std::optional<std::size_t> fix);
    [[nodiscard]] std::optional<std::size_t> cursor() const { return m_cursor; }

    /** World-unit bounds of every track and figure; null without tracks. */
    [[nodiscard]] QRectF bounds() const { return m_bounds; }

    /** The fix of the first track nearest to SCREEN within MAXPX [px] in VIEW; nullopt when none is that
     * near. */
    [[nodiscard]] std::optional<std::size_t> nearestFix(QPointF screen, const MapViewport& view,
                                                        double maxPx) const;
    /** Where fix FIX of track TRACK lies on the screen of VIEW. */
    [[nodiscard]] QPointF fixOnScreen(std::size_t track, std::size_t fix, const MapViewport& view) const;
    /** The polylines drawn for TRACK in VIEW (the simplified, visible chunks), in screen pixels. */
    [[nodiscard]] QList<QPolygonF> drawnPolylines(std::size_t track, const MapViewport& view) const;
    /** How many fixes of TRACK the zoom level ZOOM draws after simplification. */
    [[nodiscard]] std::size_t simplifiedSize(std::size_t track, int zoom) const;

    void draw(QPainter& painter, const MapViewport& view) const override;

private:
    struct Chunk
    {
        std::size_t begin = 0; ///< into Level::indices
        std::size_t end = 0;   ///< one past the last, overlapping the next chunk by one point
        QRectF bounds;
    };
    struct Level
    {
        std::vector<std::uint32_t> indices;
        std::vector<Chunk> chunks;
    };
    struct Projected
    {
        std::vector<MercatorPoint> points;
        std::vector<float> climb; ///< [m/s] per fix
        float minAltitude = 0;
        float maxAltitude = 0;
        QRectF bounds;
        mutable std::map<int, Level> levels;
    };

    const Level& level(const Projected& projected, int zoom) const;
    /** The whole-turn shifts (-1, 0, 1) under which RECT is in VIEW. */
    static std::vector<double> turnsInView(const QRectF& rect, const MapViewport& view);
    void drawTrack(QPainter& painter, const MapViewport& view, std::size_t index) const;
    void drawTracks(QPainter& painter, const MapViewport& view) const;
    void drawFigure(QPainter& painter, const MapViewport& view, const FlightTrack& track, double turn) const;
    void drawMarks(QPainter& painter, const MapViewport& view, std::size_t index, double turn) const;
    void drawLegend(QPainter& painter) const;
    QColor valueColour(const Projected& projected, std::size_t fix, const FlightTrack& track) const;

    /** The tracks drawn for an area around the view, reused while panning at one zoom. */
    struct TrackCache
    {
        QImage image;
        MercatorPoint center;
        double zoom = -1;
        QSizeF size; ///< [logical px]
        double ratio = 1;
        quint64 version = 0;
    };

    std::vector<FlightTrack> m_tracks;
    std::vector<Projected> m_projected;
    quint64 m_version = 1; ///< changes with the tracks and the colouring
    mutable TrackCache m_cache;
    TrackColouring m_colouring = TrackColouring::Altitude;
    std::optional<std::size_t> m_cursor;
    QRectF m_bounds;
};

/** The colour of FRACTION (0..1) on the altitude ramp: blue, green, yellow, red. */
[[nodiscard]] QColor altitudeColour(double fraction);
/** The colour of a climb [m/s]: blue sink through pale grey to red lift, full at ±3 m/s. */
[[nodiscard]] QColor climbColour(double climbMs);

} // namespace kalvora::map
