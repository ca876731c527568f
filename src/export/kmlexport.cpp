#include "export/kmlexport.h"

#include <QFile>
#include <QObject>
#include <QSaveFile>

#include <algorithm>

#include "export/exportresources.h"
#include "track/igc.h"
#include "track/placefinder.h"

namespace kalvora {

namespace {

// Fixed B record fields (sample "B1101355206343N00006198WA0058700558"):
// latitude at 7 (8 characters), longitude at 15 (9), pressure altitude at 25 (5),
// GPS altitude at 30 (5).
constexpr std::size_t kLatitudeAt = 7;
constexpr std::size_t kLongitudeAt = 15;
constexpr std::size_t kGpsAltitudeAt = 30;
constexpr std::size_t kFixLength = 35;

long long leadingInteger(std::string_view field)
{
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+'))
        negative = field[i++] == '-';
    long long value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return negative ? -value : value;
}

} // namespace

QString getCoordStringForKLM(std::string_view igc)
{
    QString list;
    if (igc.empty())
        return list;
    for (const std::string_view line : IGC::getICGLines(igc)) {
        // A record cut short would leave the fields to be read from beyond its end.
        if (line.empty() || line.front() != 'B' || line.size() < kFixLength)
            continue;
        const std::int64_t latitude = PlaceFinder::latitudeFromString(line.substr(kLatitudeAt, 8));
        const std::int64_t longitude = PlaceFinder::longitudeFromString(line.substr(kLongitudeAt, 9));
        if (latitude == 0 || longitude == 0)
            continue;
        const long long altitude = std::max(0LL, leadingInteger(line.substr(kGpsAltitudeAt, 5)));
        list += QString::asprintf("\n%f,%f,%lld", double(longitude) / 1000000.0, double(latitude) / 1000000.0,
                                  altitude);
    }
    return list;
}

std::optional<QString> builtInKmlTemplate()
{
    initExportResources();
    QFile file(QStringLiteral(":/export/kml.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

QString kmlFromTemplate(const QString& kmlTemplate, const QString& coordinates)
{
    QString text = kmlTemplate;
    text.replace(QStringLiteral("@@coords@@"), coordinates);
    return text;
}

Result<QString> kmlOfIGC(std::string_view igc)
{
    const std::optional<QString> kmlTemplate = builtInKmlTemplate();
    if (!kmlTemplate)
        return Result<QString>::failure(QObject::tr("The KML template cannot be read.").toStdString());
    return kmlFromTemplate(*kmlTemplate, getCoordStringForKLM(igc));
}

Result<Done> writeTextFileAtomically(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Result<Done>::failure(file.errorString().toStdString());
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return Result<Done>::failure(file.errorString().toStdString());
    return Done{};
}

} // namespace kalvora
