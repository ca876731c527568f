#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

namespace kalvora {

/**
 * One entry of a site list: a folder with its entries in file order, or a site
 * (a leaf) with its position. Spots are a reference list only; nothing else is
 * made from them.
 */
struct SpotItem
{
    enum class Kind { Folder, Placemark };
    Kind kind = Kind::Folder;
    QString name;
    double latitude = 0;  ///< degrees, north positive
    double longitude = 0; ///< degrees, east positive
    double altitude = 0;  ///< metres, 0 when the file gives none
    bool hasAltitude = false;
    QUrl link; ///< the site's page when the file names one
    SpotItem* parent = nullptr;
    std::vector<std::unique_ptr<SpotItem>> children;

    [[nodiscard]] bool isFolder() const { return kind == Kind::Folder; }
};

/** A read site list: the root folder "Root" and what could not be taken over. */
struct SpotList
{
    std::unique_ptr<SpotItem> root;
    int placemarks = 0;
    int folders = 0;
    /** Sites left out (no or bad coordinates), one line each, and a parse error if the file broke off. */
    QStringList problems;
    /** The file is not readable KML at all (nothing was read). */
    bool unreadable = false;
};

/**
 * Reads the folders and placemarks of a KML document. Coordinates are read in
 * KML's order, longitude, latitude[, altitude]; a placemark whose point has
 * fewer than two or more than three numbers, or a latitude outside ±90 or a
 * longitude outside ±180, is left out and noted. A document that breaks off
 * keeps what was read before. Any thread.
 */
[[nodiscard]] SpotList readSpotsKml(const QByteArray& kml);

} // namespace kalvora
