#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace kalvora::map {

/**
 * Where tiles come from: a URL template with "{z}", "{x}" and "{y}" and
 * optionally "{r}", which becomes "@2x" when high-resolution tiles are wanted
 * and "" otherwise (a source without "{r}" has no such tiles), and "{s}",
 * which takes one of SUBDOMAINS in turn.
 */
struct TileSource
{
    QString key;  ///< stable identifier, also the cache folder's name
    QString name; ///< shown in the chooser
    QString urlTemplate;
    QString attribution; ///< drawn on the map, as the source's licence asks
    int maxZoom = 19;
    QString subdomains; ///< one letter each, for "{s}"
    bool operator==(const TileSource&) const = default;

    /** Whether the template offers tiles at twice the resolution. */
    [[nodiscard]] bool hasHiDpiTiles() const { return urlTemplate.contains(QLatin1String("{r}")); }
    /** The URL of tile X, Y at zoom Z; HIDPI asks for the "@2x" form where there is one. */
    [[nodiscard]] QUrl tileUrl(int z, int x, int y, bool hiDpi) const;
};

/** The sources offered to the user: OpenStreetMap's standard tiles first, OpenTopoMap second. */
[[nodiscard]] const QList<TileSource>& builtInTileSources();

/** The preference holding the key of the chosen source. */
inline constexpr const char* tileSourceSettingsKey = "MapTileSource";
/** The environment variable that replaces the URL template (self-hosted tiles, tests). */
inline constexpr const char* tileUrlEnvironmentVariable = "KALVORA_TILE_URL";

/**
 * The source in use: a custom one when KALVORA_TILE_URL is set (its key
 * derived from the URL so caches never mix), else the chosen built-in one,
 * else OpenStreetMap's.
 */
[[nodiscard]] TileSource currentTileSource();
/** A source for a URL template given by the user (command line, environment). */
[[nodiscard]] TileSource customTileSource(const QString& urlTemplate);

} // namespace kalvora::map
