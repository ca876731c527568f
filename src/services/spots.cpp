#include "services/spots.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>
#include <optional>

namespace kalvora {

namespace {

struct Coordinates
{
    double latitude = 0, longitude = 0, altitude = 0;
    bool hasAltitude = false;
};

/** "lon,lat[,alt]"; nullopt for anything else or a position off the globe. */
std::optional<Coordinates> readCoordinates(const QString& text, QString* why)
{
    // A point has one tuple; KML separates tuples with white space, and files written by
    // hand put spaces after the commas too.
    static const QRegularExpression spacedComma(QStringLiteral("\\s*,\\s*"));
    const QStringList tuples = QString(text).replace(spacedComma, QStringLiteral(",")).simplified().split(
        QLatin1Char(' '), Qt::SkipEmptyParts);
    if (tuples.size() != 1) {
        *why = tuples.isEmpty() ? QStringLiteral("no coordinates") : QStringLiteral("more than one position");
        return std::nullopt;
    }
    const QStringList parts = tuples.first().split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) {
        *why = QStringLiteral("coordinates \"%1\" are not longitude,latitude[,altitude]").arg(tuples.first());
        return std::nullopt;
    }
    double values[3] = {0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i])) {
            *why = QStringLiteral("coordinates \"%1\" are not numbers").arg(tuples.first());
            return std::nullopt;
        }
    }
    if (std::abs(values[0]) > 180 || std::abs(values[1]) > 90) {
        *why = QStringLiteral("coordinates \"%1\" lie off the globe").arg(tuples.first());
        return std::nullopt;
    }
    return Coordinates{values[1], values[0], values[2], parts.size() == 3};
}

} // namespace

SpotList readSpotsKml(const QByteArray& kml)
{
    SpotList list;
    list.root = std::make_unique<SpotItem>();
    list.root->name = QStringLiteral("Root");
    QXmlStreamReader xml(kml);
    SpotItem* folder = list.root.get();        // where new entries go
    std::unique_ptr<SpotItem> placemark;       // the site being read
    std::optional<Coordinates> position;
    QString positionProblem;
    bool sawKml = false;

    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        const QStringView name = xml.name();
        if (token == QXmlStreamReader::StartElement) {
            if (name == QLatin1String("kml") || name == QLatin1String("Document"))
                sawKml = true;
            if (name == QLatin1String("Folder")) {
                auto child = std::make_unique<SpotItem>();
                child->parent = folder;
                folder->children.push_back(std::move(child));
                folder = folder->children.back().get();
                ++list.folders;
            } else if (name == QLatin1String("Placemark")) {
                placemark = std::make_unique<SpotItem>();
                placemark->kind = SpotItem::Kind::Placemark;
                position.reset();
                positionProblem = QStringLiteral("no coordinates");
            } else if (name == QLatin1String("name")) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                if (placemark)
                    placemark->name = text;
                else if (folder != list.root.get())
                    folder->name = text;
            } else if (name == QLatin1String("coordinates") && placemark) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                if (!position)
                    position = readCoordinates(text, &positionProblem);
            } else if (name == QLatin1String("link") && placemark) {
                // atom:link href="..." names the site's own page.
                const QUrl url(xml.attributes().value(QLatin1String("href")).toString());
                if (url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
                    placemark->link = url;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (name == QLatin1String("Folder") && folder != list.root.get()) {
                folder = folder->parent;
            } else if (name == QLatin1String("Placemark") && placemark) {
                if (position) {
                    placemark->latitude = position->latitude;
                    placemark->longitude = position->longitude;
                    placemark->altitude = position->altitude;
                    placemark->hasAltitude = position->hasAltitude;
                    placemark->parent = folder;
                    folder->children.push_back(std::move(placemark));
                    ++list.placemarks;
                } else {
                    list.problems << QStringLiteral("%1 (line %2): %3")
                                         .arg(placemark->name.isEmpty() ? QStringLiteral("A site") : placemark->name)
                                         .arg(xml.lineNumber())
                                         .arg(positionProblem);
                }
                placemark.reset();
            }
        }
    }
    if (xml.hasError()) {
        list.unreadable = !sawKml && list.placemarks == 0 && list.folders == 0;
        list.problems << QStringLiteral("The file breaks off at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    } else if (!sawKml) {
        list.unreadable = true;
        list.problems << QStringLiteral("The file is not a KML document.");
    }
    return list;
}

} // namespace kalvora
