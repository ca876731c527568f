#include "waypoints/wptimporter.h"

#include <cmath>

#include "model/waypoint.h"
#include "services/boundedfile.h"
#include "track/georange.h"

namespace kalvora {
namespace {

constexpr QChar kDegreeMark(0x00BA);
const char* const kExtensionLine = "w Waypoint,0,-1.0,16777215,255,1,7,,0.0,\r\n";

/** Lines end at CR LF, or at LF alone; a lone CR stays part of its line. */
QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype lf = text.indexOf(QLatin1Char('\n'), start);
        if (lf < 0) {
            lines.append(text.mid(start));
            break;
        }
        qsizetype end = lf;
        if (end > start && text.at(end - 1) == QLatin1Char('\r'))
            --end;
        lines.append(text.mid(start, end - start));
        start = lf + 1;
    }
    return lines;
}

/** The text before the first space (the whole line when it has none). */
QString firstWord(const QString& line)
{
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    return space < 0 ? line : line.left(space);
}

/**
 * The leading decimal number of TEXT: optional sign, digits, optional
 * fraction and exponent; reading stops at the first character that cannot
 * continue a number. 0 when there is none.
 */
double leadingNumber(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    qsizetype i = 0;
    const auto digitsFrom = [&](qsizetype at) {
        qsizetype n = at;
        while (n < bytes.size() && bytes[n] >= '0' && bytes[n] <= '9')
            ++n;
        return n;
    };
    if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-'))
        ++i;
    const qsizetype intEnd = digitsFrom(i);
    qsizetype end = intEnd;
    bool haveDigits = intEnd > i;
    if (end < bytes.size() && bytes[end] == '.') {
        const qsizetype fracEnd = digitsFrom(end + 1);
        haveDigits = haveDigits || fracEnd > end + 1;
        end = fracEnd;
    }
    if (!haveDigits)
        return 0;
    if (end < bytes.size() && (bytes[end] == 'e' || bytes[end] == 'E')) {
        qsizetype e = end + 1;
        if (e < bytes.size() && (bytes[e] == '+' || bytes[e] == '-'))
            ++e;
        const qsizetype expEnd = digitsFrom(e);
        if (expEnd > e)
            end = expEnd;
    }
    bool ok = false;
    const double value = bytes.left(end).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

/**
 * The coordinate token in the form the reader expects: its first 10
 * characters and its last ("47.5000000000ºN" gives "47.5000000N"). Tokens
 * too short for that are read whole, without the degree mark, so that a file
 * written with fewer decimals still gives its coordinates.
 */
QString coordinateText(const QString& token)
{
    if (token.size() > 10)
        return token.left(10) + token.right(1);
    QString text = token;
    text.remove(kDegreeMark);
    return text;
}

/**
 * True when TOKEN is written as a coordinate: unsigned digits with at most one
 * decimal point, any degree mark (in whatever encoding it arrived), then one of
 * the two hemisphere letters. "47.5000000000ºN" passes; "1e308ºN", "47.5ºQ"
 * and "ºN" do not.
 */
bool isCoordinateToken(const QString& token, char positive, char negative)
{
    if (token.isEmpty())
        return false;
    const QChar letter = token.back().toUpper();
    if (letter != QLatin1Char(positive) && letter != QLatin1Char(negative))
        return false;
    qsizetype end = token.size() - 1;
    while (end > 0 && token.at(end - 1).unicode() > 0x7F)
        --end;
    int digits = 0;
    int points = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const QChar c = token.at(i);
        if (c.isDigit() && c.unicode() < 0x80)
            ++digits;
        else if (c == QLatin1Char('.'))
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

QString formatCoordinate(double value, char positive, char negative)
{
    const char hemisphere = value < 0 ? negative : positive;
    return QString::asprintf("%.10f", std::fabs(value)) + kDegreeMark + QLatin1Char(hemisphere);
}

/** Line breaks would end the waypoint line early; the description keeps its words. */
QString singleLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

std::vector<WaypointRecord> WPTImporter::getDeviceWaypoints() const
{
    if (m_path.isEmpty())
        return {};
    const Result<QByteArray> bytes = readRegularFile(m_path, maxWaypointFileBytes);
    if (!bytes)
        return {};
    return parseWptText(*bytes);
}

std::vector<WaypointRecord> WPTImporter::parseWptText(const QByteArray& latin1)
{
    std::vector<WaypointRecord> points;
    int state = 0;
    for (const QString& line : splitLines(QString::fromLatin1(latin1))) {
        if (state == 0) {
            if (line.size() < 3 || firstWord(line) != QLatin1String("G"))
                continue;
            if (!line.contains(QLatin1String("WGS 84"), Qt::CaseInsensitive))
                return points;
            state = 1;
        } else if (state == 1) {
            if (firstWord(line) != QLatin1String("U"))
                continue;
            if (!line.contains(QLatin1Char('1')))
                return points;
            state = 2;
        } else if (auto point = getDeviceWaypointFromLine(line)) {
            points.push_back(std::move(*point));
        }
    }
    return points;
}

std::optional<WaypointRecord> WPTImporter::getDeviceWaypointFromLine(const QString& line)
{
    if (line.size() < 2)
        return std::nullopt;
    const QStringList tokens = seperateLine(line);
    // A line without its description would give a nameless waypoint that
    // nobody could find again.
    if (tokens.size() < 9 || tokens.at(0) != QLatin1String("W"))
        return std::nullopt;
    if (!isCoordinateToken(tokens.at(3), 'N', 'S') || !isCoordinateToken(tokens.at(4), 'E', 'W'))
        return std::nullopt;
    bool numeric = false;
    const double altitude = tokens.at(7).toDouble(&numeric);
    if (!numeric || !geo::isAltitude(altitude))
        return std::nullopt;

    WaypointRecord point;
    point.latitude = coordFromString(coordinateText(tokens.at(3)));
    point.longitude = coordFromString(coordinateText(tokens.at(4)));
    if (!geo::isLatitude(point.latitude) || !geo::isLongitude(point.longitude))
        return std::nullopt;
    point.altitude = double(float(altitude));
    point.gpsaltitude = point.altitude;
    point.shortName = tokens.mid(8).join(QLatin1Char(' '));
    return point;
}

QString WPTImporter::identifierFor(const QString& shortName, const QString& name)
{
    QString id = shortName;
    id.remove(QLatin1Char(' '));
    if (id.isEmpty()) {
        id = name;
        id.remove(QLatin1Char(' '));
    }
    // Other whitespace would split the token just as a space does.
    id = id.simplified().remove(QLatin1Char(' '));
    if (id.size() >= 9)
        id = id.left(6);
    return id;
}

QString WPTImporter::getWPTFileFromWaypoints(const QList<WptEntry>& entries)
{
    QString text = QStringLiteral("G  WGS 84\r\nU  1\r\n");
    int number = 0;
    for (const WptEntry& entry : entries) {
        ++number;
        QString id = identifierFor(entry.shortName, entry.name);
        // An empty identifier would shift every later token of the line.
        if (id.isEmpty())
            id = QStringLiteral("WP%1").arg(number);
        // Without a name the short name (or the identifier) keeps the place recognisable when read back.
        QString description = singleLine(entry.name);
        if (description.trimmed().isEmpty())
            description = entry.shortName.trimmed().isEmpty() ? id : singleLine(entry.shortName);
        text += QStringLiteral("W  %1 A %2 %3 27-MAR-62 00:00:00 %4 %5\r\n")
                    .arg(id, latitudeStringFromCoord(double(entry.latitude) / 1000000.0),
                         longitudeStringFromCoord(double(entry.longitude) / 1000000.0),
                         QString::asprintf("%f", double(entry.altitude)), description);
        text += QLatin1String(kExtensionLine);
    }
    return text;
}

WptEntry WPTImporter::entryFromWaypoint(const Waypoint& waypoint)
{
    return WptEntry{waypoint.shortName(), waypoint.name(), waypoint.latitude(), waypoint.longitude(),
                    waypoint.altitude()};
}

QString WPTImporter::getWPTFileFromWaypoints(const QList<Waypoint*>& waypoints)
{
    QList<WptEntry> entries;
    for (const Waypoint* w : waypoints) {
        if (w)
            entries.append(entryFromWaypoint(*w));
    }
    return getWPTFileFromWaypoints(entries);
}

QByteArray WPTImporter::encodeFile(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text)
        bytes.append(c.unicode() < 256 ? char(c.unicode()) : '?');
    return bytes;
}

double WPTImporter::coordFromString(const QString& text)
{
    if (text.isEmpty())
        return 0;
    double sign = 1;
    if (text.contains(QLatin1Char('S'), Qt::CaseInsensitive))
        sign = -1;
    else if (text.contains(QLatin1Char('W'), Qt::CaseInsensitive))
        sign = -1;
    QString rest;
    rest.reserve(text.size());
    for (const QChar c : text) {
        if (QStringLiteral("NSEWnsew ").contains(c))
            continue;
        rest.append(c);
    }
    return sign * leadingNumber(rest);
}

QString WPTImporter::latitudeStringFromCoord(double latitude)
{
    return formatCoordinate(latitude, 'N', 'S');
}

QString WPTImporter::longitudeStringFromCoord(double longitude)
{
    return formatCoordinate(longitude, 'E', 'W');
}

QStringList WPTImporter::seperateLine(const QString& line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace kalvora
