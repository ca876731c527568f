#include "map/tilesource.h"

#include <QCryptographicHash>
#include <QSettings>

namespace kalvora::map {

QUrl TileSource::tileUrl(int z, int x, int y, bool hiDpi) const
{
    QString text = urlTemplate;
    text.replace(QLatin1String("{z}"), QString::number(z));
    text.replace(QLatin1String("{x}"), QString::number(x));
    text.replace(QLatin1String("{y}"), QString::number(y));
    text.replace(QLatin1String("{r}"), hiDpi ? QStringLiteral("@2x") : QString());
    if (!subdomains.isEmpty())
        text.replace(QLatin1String("{s}"), subdomains.at((x + y) % subdomains.size()));
    return QUrl(text);
}

const QList<TileSource>& builtInTileSources()
{
    static const QList<TileSource> sources{
        {QStringLiteral("osm"),
         QStringLiteral("OpenStreetMap"),
         QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"),
         QStringLiteral("© OpenStreetMap contributors"),
         19,
         {}},
        {QStringLiteral("opentopomap"), QStringLiteral("OpenTopoMap"),
         QStringLiteral("https://{s}.tile.opentopomap.org/{z}/{x}/{y}.png"),
         QStringLiteral("© OpenStreetMap contributors, SRTM | style © OpenTopoMap (CC-BY-SA)"), 17,
         QStringLiteral("abc")},
    };
    return sources;
}

TileSource customTileSource(const QString& urlTemplate)
{
    const QByteArray digest =
        QCryptographicHash::hash(urlTemplate.toUtf8(), QCryptographicHash::Sha1).toHex();
    TileSource source;
    source.key = QStringLiteral("custom-") + QString::fromLatin1(digest.left(12));
    source.name = QStringLiteral("Custom");
    source.urlTemplate = urlTemplate;
    source.attribution = QStringLiteral("© OpenStreetMap contributors");
    source.maxZoom = 19;
    source.subdomains = QStringLiteral("abc");
    return source;
}

TileSource currentTileSource()
{
    const QString fromEnvironment = qEnvironmentVariable(tileUrlEnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return customTileSource(fromEnvironment);
    const QString key = QSettings().value(QLatin1String(tileSourceSettingsKey)).toString();
    for (const TileSource& source : builtInTileSources()) {
        if (source.key == key)
            return source;
    }
    return builtInTileSources().first();
}

} // namespace kalvora::map
