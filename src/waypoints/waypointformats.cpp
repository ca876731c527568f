#include "waypoints/waypointformats.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

#include <zip.h>

#include <cmath>
#include <memory>
#include <optional>

#include "waypoints/wptimporter.h"

namespace kalvora::waypointformats {
namespace {

constexpr double FeetToMetres = 0.3048;
/** No place on the ground lies farther from sea level [m]; beyond it a value is garbage. */
constexpr double MaxAltitudeM = 20000;
/** Names longer than this are cut: nothing a pilot names a place runs longer. */
constexpr qsizetype MaxNameLength = 255;
/** The most comma fields looked at per line; a hostile line of commas stays cheap. */
constexpr qsizetype MaxFields = 32;

/**
 * Metres from feet, to the millimetre: an altitude given in feet for a whole
 * number of metres must not come out a hair below it, or the store, which
 * keeps whole metres, would lose one.
 */
double metresFromFeet(double feet)
{
    return std::round(feet * FeetToMetres * 1000.0) / 1000.0;
}

/**
 * Calls ONLINE(line) for each line of TEXT, ended by LF or CR LF (a lone CR
 * ends a line too: old Mac files), until it returns false. Lines are handed
 * out one at a time: a file of nothing but line ends costs no memory.
 */
template <typename OnLine> void forEachLine(QStringView text, OnLine onLine)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        if (!onLine(text.mid(start, i - start)))
            return;
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        onLine(text.mid(start));
}

/**
 * The comma fields of LINE. A field that starts with a double quote runs to
 * the closing quote and may hold commas; "" inside stands for one quote.
 * Unquoted fields are trimmed. At most MaxFields fields are split off.
 */
QStringList splitCsv(QStringView line)
{
    QStringList fields;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (fields.size() < MaxFields) {
        qsizetype j = i;
        while (j < n && line[j] == u' ')
            ++j;
        if (j < n && line[j] == u'"') {
            QString field;
            ++j;
            while (j < n) {
                if (line[j] == u'"') {
                    if (j + 1 < n && line[j + 1] == u'"') {
                        field += u'"';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                field += line[j];
                ++j;
            }
            while (j < n && line[j] != u',')
                ++j;
            fields.append(field);
        } else {
            qsizetype k = j;
            while (k < n && line[k] != u',')
                ++k;
            fields.append(line.mid(j, k - j).trimmed().toString());
            j = k;
        }
        if (j >= n)
            break;
        i = j + 1;
    }
    return fields;
}

/** Control characters become spaces; the name is trimmed and cut, never inside a surrogate pair. */
QString cleanName(QStringView text)
{
    QString name;
    name.reserve(std::min(text.size(), MaxNameLength + 1));
    for (const QChar c : text) {
        if (name.size() > MaxNameLength)
            break;
        name += (c.unicode() < 0x20 || c.unicode() == 0x7F) ? QChar(u' ') : c;
    }
    name = name.trimmed();
    if (name.size() > MaxNameLength) {
        qsizetype keep = MaxNameLength;
        if (name.at(keep - 1).isHighSurrogate())
            --keep;
        name.truncate(keep);
        name = name.trimmed();
    }
    return name;
}

std::optional<double> number(QStringView text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

/** Adds a waypoint when its values are on the globe; counts it as skipped otherwise. */
void addPoint(Reading& reading, QStringView name, double latitude, double longitude, double altitude)
{
    const bool onGlobe = std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90 &&
                         std::fabs(longitude) <= 180 && std::isfinite(altitude) &&
                         std::fabs(altitude) <= MaxAltitudeM;
    if (!onGlobe) {
        ++reading.skipped;
        return;
    }
    reading.waypoints.push_back(WaypointRecord{cleanName(name), latitude, longitude, altitude, altitude, 0});
}

bool allDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

/**
 * A CUP angle such as "4727.407N" or "01207.407E": degrees, two digits of
 * whole minutes, decimals of a minute, hemisphere. DEGREEDIGITS is 2 for
 * latitudes and 3 for longitudes; fewer leading digits are accepted.
 */
std::optional<double> cupAngle(QStringView text, int degreeDigits, char16_t positive, char16_t negative)
{
    text = text.trimmed();
    if (text.size() < 4)
        return std::nullopt;
    const char16_t hemisphere = text.back().toUpper().unicode();
    if (hemisphere != positive && hemisphere != negative)
        return std::nullopt;
    const QStringView digits = text.chopped(1).trimmed();
    const qsizetype dot = digits.indexOf(u'.');
    const QStringView whole = dot < 0 ? digits : digits.left(dot);
    const QStringView fraction = dot < 0 ? QStringView() : digits.mid(dot + 1);
    if (whole.size() < 3 || whole.size() > degreeDigits + 2 || !allDigits(whole) || fraction.size() > 12 ||
        !allDigits(fraction))
        return std::nullopt;
    const int degrees = whole.chopped(2).toInt();
    double minutes = whole.right(2).toInt();
    if (!fraction.isEmpty())
        minutes += (QStringLiteral("0.") + fraction.toString()).toDouble();
    if (minutes >= 60)
        return std::nullopt;
    const double value = degrees + minutes / 60.0;
    return hemisphere == negative ? -value : value;
}

/** A CUP elevation: "1829.0m", "6001ft", "1829" (metres); empty is 0. */
std::optional<double> cupElevation(QStringView text)
{
    QString t = text.trimmed().toString().toLower();
    if (t.isEmpty())
        return 0.0;
    bool feet = false;
    if (t.endsWith(QLatin1String("ft"))) {
        feet = true;
        t.chop(2);
    } else if (t.endsWith(u'm')) {
        t.chop(1);
    }
    const auto value = number(t);
    if (!value)
        return std::nullopt;
    return feet ? metresFromFeet(*value) : *value;
}

/** The columns of a CUP file that the reader takes. */
struct CupColumns
{
    qsizetype name = 0;
    qsizetype code = 1;
    qsizetype latitude = 3;
    qsizetype longitude = 4;
    qsizetype elevation = 5;
};

/** The columns named by a header line ("name,code,country,lat,lon,elev,..." or "Title,Code,..."). */
std::optional<CupColumns> cupHeader(QStringView line)
{
    const QStringList fields = splitCsv(line);
    if (fields.isEmpty())
        return std::nullopt;
    const QString first = fields.first().toLower();
    if (first != QLatin1String("name") && first != QLatin1String("title"))
        return std::nullopt;
    CupColumns columns{-1, -1, -1, -1, -1};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString f = fields[i].toLower();
        if (f == QLatin1String("name") || f == QLatin1String("title"))
            columns.name = i;
        else if (f == QLatin1String("code"))
            columns.code = i;
        else if (f == QLatin1String("lat") || f == QLatin1String("latitude"))
            columns.latitude = i;
        else if (f == QLatin1String("lon") || f == QLatin1String("longitude"))
            columns.longitude = i;
        else if (f == QLatin1String("elev") || f == QLatin1String("elevation"))
            columns.elevation = i;
    }
    if (columns.latitude < 0 || columns.longitude < 0)
        return std::nullopt;
    return columns;
}

bool isCupTaskMarker(QStringView line)
{
    return line.trimmed().startsWith(QLatin1String("-----Related Tasks"), Qt::CaseInsensitive);
}

/**
 * XML text for the stream reader. Files that declare a Latin-1 or
 * Windows-1252 encoding are decoded as Windows-1252; the rest as decodeText
 * guesses, so that a file declaring UTF-8 but saved as Latin-1 still reads.
 */
QString xmlText(const QByteArray& bytes)
{
    const QByteArray head = bytes.left(256).toLower();
    if (head.startsWith("<?xml")) {
        const qsizetype end = head.indexOf("?>");
        const qsizetype at = head.indexOf("encoding");
        if (at > 0 && (end < 0 || at < end)) {
            const QByteArray rest = head.mid(at + 8, 40).trimmed();
            if (rest.startsWith('=')) {
                const QByteArray value = rest.mid(1).trimmed();
                for (const char* name :
                     {"iso-8859-1", "iso8859-1", "latin1", "latin-1", "windows-1252", "cp1252"}) {
                    if (value.mid(1).startsWith(name))
                        return fromWindows1252(bytes);
                }
            }
        }
    }
    return decodeText(bytes);
}

Result<Reading> xmlFailure(const QXmlStreamReader& reader)
{
    return Result<Reading>::failure(QStringLiteral("the XML is broken at line %1 (%2)")
                                        .arg(reader.lineNumber())
                                        .arg(reader.errorString())
                                        .toStdString());
}

void readGpxPoint(QXmlStreamReader& reader, Reading& reading)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    const auto latitude = number(attributes.value(QLatin1String("lat")));
    const auto longitude = number(attributes.value(QLatin1String("lon")));
    QString name, description, comment;
    std::optional<double> elevation = 0.0;
    while (reader.readNextStartElement()) {
        const QStringView element = reader.name();
        if (element == QLatin1String("name"))
            name = reader.readElementText(QXmlStreamReader::SkipChildElements);
        else if (element == QLatin1String("desc"))
            description = reader.readElementText(QXmlStreamReader::SkipChildElements);
        else if (element == QLatin1String("cmt"))
            comment = reader.readElementText(QXmlStreamReader::SkipChildElements);
        else if (element == QLatin1String("ele"))
            elevation = number(reader.readElementText(QXmlStreamReader::SkipChildElements));
        else
            reader.skipCurrentElement();
    }
    if (reader.hasError())
        return;
    if (!latitude || !longitude || !elevation) {
        ++reading.skipped;
        return;
    }
    const QString& shown =
        !name.trimmed().isEmpty() ? name : (!description.trimmed().isEmpty() ? description : comment);
    addPoint(reading, shown, *latitude, *longitude, *elevation);
}

/** "lon,lat[,alt]" of the first tuple of a KML coordinates text. */
bool readKmlCoordinates(QStringView text, double& latitude, double& longitude, double& altitude)
{
    // Tuples are separated by white space; files written by hand also put spaces after the commas.
    QString tuple;
    bool afterComma = false;
    for (const QChar c : text.trimmed()) {
        if (c.isSpace()) {
            if (!afterComma)
                break;
            continue;
        }
        afterComma = c == u',';
        tuple += c;
    }
    const QList<QStringView> parts = QStringView(tuple).split(u',');
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    const auto lon = number(parts[0]);
    const auto lat = number(parts[1]);
    const auto alt = parts.size() == 3 ? number(parts[2]) : std::optional<double>(0.0);
    if (!lon || !lat || !alt)
        return false;
    longitude = *lon;
    latitude = *lat;
    altitude = *alt;
    return true;
}

void readPlacemark(QXmlStreamReader& reader, Reading& reading)
{
    QString name;
    QString coordinates;
    bool havePoint = false;
    int depth = 1;
    int pointDepth = 0;
    while (depth > 0 && !reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            const QStringView element = reader.name();
            if (depth == 2 && element == QLatin1String("name")) {
                name = reader.readElementText(QXmlStreamReader::SkipChildElements);
                --depth;
            } else if (element == QLatin1String("Point") && !havePoint && pointDepth == 0) {
                pointDepth = depth;
            } else if (pointDepth > 0 && element == QLatin1String("coordinates")) {
                coordinates = reader.readElementText(QXmlStreamReader::SkipChildElements);
                havePoint = true;
                --depth;
            }
        } else if (reader.isEndElement()) {
            if (depth == pointDepth)
                pointDepth = 0;
            --depth;
        }
    }
    if (reader.hasError())
        return;
    double latitude = 0, longitude = 0, altitude = 0;
    if (!havePoint || !readKmlCoordinates(coordinates, latitude, longitude, altitude)) {
        ++reading.skipped;
        return;
    }
    addPoint(reading, name, latitude, longitude, altitude);
}

QString formatCupAngle(qint64 microDegrees, int degreeDigits, char positive, char negative)
{
    // Whole thousandths of a minute, rounded once, so 59.9996' never shows as 60.000'.
    const qint64 magnitude = microDegrees < 0 ? -microDegrees : microDegrees;
    const qint64 thousandths = (magnitude * 6 + 50) / 100;
    const qint64 degrees = thousandths / 60000;
    const qint64 minutes = (thousandths % 60000) / 1000;
    const qint64 fraction = thousandths % 1000;
    return QString::asprintf("%0*lld%02lld.%03lld%c", degreeDigits, degrees, minutes, fraction,
                             microDegrees < 0 ? negative : positive);
}

QString cupQuoted(const QString& text)
{
    QString t = cleanName(text);
    t.replace(u'"', QLatin1String("\"\""));
    return u'"' + t + u'"';
}

QString microDegreesText(qint64 microDegrees)
{
    const qint64 magnitude = microDegrees < 0 ? -microDegrees : microDegrees;
    return QString::asprintf("%s%lld.%06lld", microDegrees < 0 ? "-" : "", magnitude / 1000000,
                             magnitude % 1000000);
}

/** Text fit for an XML element: escaped, without the characters XML cannot hold. */
QString xmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        if (c.isSurrogate() || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            continue;
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        default:
            out += c.unicode() < 0x20 ? QChar(u' ') : c;
        }
    }
    return out;
}

QString displayName(const WptEntry& entry)
{
    return cleanName(entry.name).isEmpty() ? entry.shortName : entry.name;
}

} // namespace

bool isNonAsciiUtf8(const QByteArray& bytes)
{
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    bool nonAscii = false;
    for (const char c : body) {
        if (uchar(c) >= 0x80) {
            nonAscii = true;
            break;
        }
    }
    if (!nonAscii)
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(body); // decoding happens on conversion to QString
    return !decoder.hasError();
}

QString fromWindows1252(const QByteArray& bytes)
{
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D are unassigned and stay as Latin-1 reads them.
    static constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const uchar b = uchar(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return text;
}

QString decodeText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                            : QStringDecoder::Utf16BE);
        return decoder.decode(bytes.mid(2));
    }
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(body);
    if (!decoder.hasError())
        return text;
    return fromWindows1252(body);
}

Result<Reading> readOziExplorer(const QString& text)
{
    Reading reading;
    std::optional<std::string> refusal;
    qsizetype index = 0;
    forEachLine(text, [&](QStringView line) {
        const qsizetype i = index++;
        if (i == 0) {
            if (!line.trimmed().startsWith(QLatin1String("OziExplorer Waypoint File"), Qt::CaseInsensitive))
                refusal = "the first line is not \"OziExplorer Waypoint File\"";
            return !refusal;
        }
        if (i == 1) {
            const QStringView datum = line.trimmed();
            if (!datum.contains(QLatin1String("WGS 84"), Qt::CaseInsensitive) &&
                !datum.contains(QLatin1String("WGS84"), Qt::CaseInsensitive))
                refusal = QStringLiteral("the datum \"%1\" is not supported; only WGS 84 is")
                              .arg(cleanName(datum.left(MaxNameLength)))
                              .toStdString();
            return !refusal;
        }
        if (line.trimmed().isEmpty())
            return true;
        QList<QStringView> fields;
        for (const QStringView field : line.tokenize(u',')) {
            fields.append(field);
            if (fields.size() == MaxFields)
                break;
        }
        bool numbered = false;
        (void)fields[0].trimmed().toInt(&numbered);
        // Lines 3 and 4 are reserved ("Reserved 2", "garmin", ...).
        if (i < 4 && !numbered)
            return true;
        if (fields.size() < 4 || !numbered) {
            ++reading.skipped;
            return true;
        }
        const auto latitude = number(fields[2]);
        const auto longitude = number(fields[3]);
        std::optional<double> altitude = 0.0;
        if (fields.size() > 14 && !fields[14].trimmed().isEmpty()) {
            altitude = number(fields[14]);
            if (altitude)
                altitude = *altitude == -777 ? 0.0 : metresFromFeet(*altitude);
        }
        if (!latitude || !longitude || !altitude) {
            ++reading.skipped;
            return true;
        }
        // The file cannot hold commas in a field; OziExplorer writes character 209 instead.
        QString name = fields[1].toString().replace(QChar(209), u',');
        if (name.trimmed().isEmpty() && fields.size() > 10)
            name = fields[10].toString().replace(QChar(209), u',');
        addPoint(reading, name, *latitude, *longitude, *altitude);
        return true;
    });
    if (index == 0)
        refusal = "the first line is not \"OziExplorer Waypoint File\"";
    if (refusal)
        return Result<Reading>::failure(*refusal);
    return reading;
}

Reading readSeeYouCup(const QString& text)
{
    Reading reading;
    CupColumns columns;
    bool first = true;
    forEachLine(text, [&](QStringView line) {
        if (line.trimmed().isEmpty())
            return true;
        if (first) {
            first = false;
            if (const auto header = cupHeader(line)) {
                columns = *header;
                return true;
            }
        }
        if (isCupTaskMarker(line))
            return false;
        const QStringList fields = splitCsv(line);
        const auto field = [&](qsizetype column) { return column >= 0 ? fields.value(column) : QString(); };
        const auto latitude = cupAngle(field(columns.latitude), 2, u'N', u'S');
        const auto longitude = cupAngle(field(columns.longitude), 3, u'E', u'W');
        const auto elevation = cupElevation(field(columns.elevation));
        if (!latitude || !longitude || !elevation) {
            ++reading.skipped;
            return true;
        }
        const QString name = field(columns.name);
        addPoint(reading, name.trimmed().isEmpty() ? field(columns.code) : name, *latitude, *longitude,
                 *elevation);
        return true;
    });
    return reading;
}

bool looksLikeSeeYouCup(QStringView firstLine)
{
    if (cupHeader(firstLine))
        return true;
    const QStringList fields = splitCsv(firstLine);
    return fields.size() >= 5 && cupAngle(fields[3], 2, u'N', u'S') && cupAngle(fields[4], 3, u'E', u'W');
}

Result<Reading> readGpx(const QByteArray& xml, bool routePoints)
{
    Reading reading;
    QXmlStreamReader reader(xmlText(xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        const QStringView element = reader.name();
        if (element == QLatin1String("wpt") || (routePoints && element == QLatin1String("rtept")))
            readGpxPoint(reader, reading);
        else if (element == QLatin1String("rtept"))
            ++reading.routePointsNotRead;
    }
    if (reader.hasError())
        return xmlFailure(reader);
    return reading;
}

Result<Reading> readKml(const QByteArray& xml)
{
    Reading reading;
    QXmlStreamReader reader(xmlText(xml));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("Placemark"))
            readPlacemark(reader, reading);
    }
    if (reader.hasError())
        return xmlFailure(reader);
    return reading;
}

Result<QByteArray> kmlFromKmz(const QByteArray& zip)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return Result<QByteArray>::failure("the archive cannot be opened");
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
        const std::string why = zip_error_strerror(&error);
        zip_source_free(source);
        zip_error_fini(&error);
        return Result<QByteArray>::failure("the archive cannot be opened (" + why + ")");
    }
    zip_error_fini(&error);
    const std::unique_ptr<zip_t, void (*)(zip_t*)> closer(archive, zip_discard);

    const zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_int64_t chosen = -1;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, zip_uint64_t(i), 0);
        if (!name)
            continue;
        const QString entry = QString::fromUtf8(name);
        if (entry.compare(QLatin1String("doc.kml"), Qt::CaseInsensitive) == 0) {
            chosen = i;
            break;
        }
        if (chosen < 0 && entry.endsWith(QLatin1String(".kml"), Qt::CaseInsensitive))
            chosen = i;
    }
    if (chosen < 0)
        return Result<QByteArray>::failure("the archive holds no KML file");

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, zip_uint64_t(chosen), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) &&
        stat.size > zip_uint64_t(maxKmlBytes))
        return Result<QByteArray>::failure("the KML in the archive is too large");
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(chosen), 0);
    if (!file)
        return Result<QByteArray>::failure(std::string("the KML in the archive cannot be read (") +
                                           zip_strerror(archive) + ")");
    const std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> fileCloser(file, zip_fclose);
    QByteArray kml;
    char buffer[65536];
    // The stated size may lie; the cap holds for what is really unpacked.
    for (;;) {
        const zip_int64_t got = zip_fread(file, buffer, sizeof buffer);
        if (got < 0)
            return Result<QByteArray>::failure(std::string("the KML in the archive cannot be read (") +
                                               zip_file_strerror(file) + ")");
        if (got == 0)
            break;
        if (kml.size() + got > maxKmlBytes)
            return Result<QByteArray>::failure("the KML in the archive is too large");
        kml.append(buffer, qsizetype(got));
    }
    return kml;
}

QByteArray writeSeeYouCup(const QList<WptEntry>& entries)
{
    QString text = QStringLiteral("name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n");
    for (const WptEntry& entry : entries) {
        const QString code = cleanName(entry.shortName).isEmpty() ? entry.name : entry.shortName;
        text += cupQuoted(displayName(entry)) + u',' + cupQuoted(code) + u',' + u',' +
                formatCupAngle(entry.latitude, 2, 'N', 'S') + u',' +
                formatCupAngle(entry.longitude, 3, 'E', 'W') + u',' +
                QString::asprintf("%lld.0m", static_cast<long long>(entry.altitude)) +
                QLatin1String(",1,,,,\r\n");
    }
    return text.toUtf8();
}

QByteArray writeGpx(const QList<WptEntry>& entries)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<gpx version=\"1.1\" creator=\"Kalvora\" "
                                  "xmlns=\"http://www.topografix.com/GPX/1/1\">\n");
    for (const WptEntry& entry : entries) {
        text += QStringLiteral(
                    "  <wpt lat=\"%1\" lon=\"%2\">\n    <ele>%3</ele>\n    <name>%4</name>\n  </wpt>\n")
                    .arg(microDegreesText(entry.latitude), microDegreesText(entry.longitude))
                    .arg(entry.altitude)
                    .arg(xmlEscaped(cleanName(displayName(entry))));
    }
    text += QLatin1String("</gpx>\n");
    return text.toUtf8();
}

} // namespace kalvora::waypointformats
