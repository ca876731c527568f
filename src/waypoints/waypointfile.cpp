#include "waypoints/waypointfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>

#include "waypoints/waypointformats.h"
#include "waypoints/wptimporter.h"

namespace kalvora {
namespace {

/** How far into a file the detection looks [bytes]; every format shows itself within it. */
constexpr qsizetype DetectionBytes = 64 * 1024;
/** [bytes] Larger files are refused: 100,000 waypoints take about 10 MB in any format. */
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;
/** The WPT datum line may follow a few lines of other text. */
constexpr int WptHeaderSearchLines = 50;

const char* const TriedFormats = "tried WPT, OziExplorer WPT, SeeYou CUP, GPX, KML and KMZ";

QByteArray withoutUtf8Bom(const QByteArray& bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
}

/** The text before the first space, as the WPT reader takes it. */
QStringView firstWord(QStringView line)
{
    const qsizetype space = line.indexOf(u' ');
    return space < 0 ? line : line.left(space);
}

/** Up to MAXLINES lines of TEXT that hold more than white space. */
QList<QStringView> leadingLines(QStringView text, int maxLines)
{
    QList<QStringView> lines;
    for (const QStringView line : text.tokenize(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        lines.append(line.endsWith(u'\r') ? line.chopped(1) : line);
        if (lines.size() == maxLines)
            break;
    }
    return lines;
}

/** The name of the first element of an XML text; empty when there is none before an error. */
QString rootElement(const QString& text)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            return reader.name().toString();
    }
    return {};
}

/**
 * What the WPT reader does not say: whether the header refuses the file
 * (another datum, another unit), and how many "W" lines follow the header,
 * so that the lines it could not read can be counted.
 */
struct WptScan
{
    std::optional<QString> refusal;
    int waypointLines = 0;
};

WptScan scanWpt(const QString& text)
{
    WptScan scan;
    int state = 0;
    for (QStringView line : text.tokenize(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (state == 0) {
            if (line.size() < 3 || firstWord(line) != QLatin1String("G"))
                continue;
            if (!line.contains(QLatin1String("WGS 84"), Qt::CaseInsensitive)) {
                scan.refusal = QStringLiteral("the datum line \"%1\" names another datum than WGS 84")
                                   .arg(line.left(80).trimmed());
                return scan;
            }
            state = 1;
        } else if (state == 1) {
            if (firstWord(line) != QLatin1String("U"))
                continue;
            if (!line.contains(u'1')) {
                scan.refusal = QStringLiteral("the unit line \"%1\" does not give degrees (U  1)")
                                   .arg(line.left(80).trimmed());
                return scan;
            }
            state = 2;
        } else {
            while (line.startsWith(u' '))
                line = line.mid(1);
            if (firstWord(line) == QLatin1String("W"))
                ++scan.waypointLines;
        }
    }
    return scan;
}

/**
 * The WPT dialect, read by WPTImporter as it always has been (ISO 8859-1).
 * Only the names are decoded again: a file saved as UTF-8 or Windows-1252
 * gives its names as written. The reader keeps the bytes of a name (every
 * byte is one Latin-1 character and tokens are joined by the single space
 * they were split at), so decoding them again loses nothing.
 */
Result<waypointformats::Reading> readWptDialect(const QByteArray& bytes)
{
    const QByteArray body = withoutUtf8Bom(bytes);
    const WptScan scan = scanWpt(QString::fromLatin1(body));
    if (scan.refusal)
        return Result<waypointformats::Reading>::failure(scan.refusal->toStdString());
    waypointformats::Reading reading;
    reading.waypoints = WPTImporter::parseWptText(body);
    const bool utf8 = waypointformats::isNonAsciiUtf8(body);
    for (WaypointRecord& record : reading.waypoints) {
        const QByteArray raw = record.shortName.toLatin1();
        record.shortName = utf8 ? QString::fromUtf8(raw) : waypointformats::fromWindows1252(raw);
    }
    reading.skipped = std::max(0, scan.waypointLines - int(reading.waypoints.size()));
    return reading;
}

QString failureText(const QString& fileName, const QString& why)
{
    return fileName + QStringLiteral(": ") + why;
}

} // namespace

QString waypointFormatName(WaypointFileFormat format)
{
    switch (format) {
    case WaypointFileFormat::Wpt:
        return QStringLiteral("WPT");
    case WaypointFileFormat::OziExplorer:
        return QStringLiteral("OziExplorer WPT");
    case WaypointFileFormat::SeeYouCup:
        return QStringLiteral("SeeYou CUP");
    case WaypointFileFormat::Gpx:
        return QStringLiteral("GPX");
    case WaypointFileFormat::Kml:
        return QStringLiteral("KML");
    case WaypointFileFormat::Kmz:
        return QStringLiteral("KMZ");
    }
    return {};
}

std::optional<WaypointFileFormat> detectWaypointFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("PK\x03\x04"))
        return WaypointFileFormat::Kmz;
    const QByteArray head = bytes.left(DetectionBytes);
    const bool utf16 = head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
    if (!utf16 && head.contains('\0'))
        return std::nullopt;
    const QString text = waypointformats::decodeText(head);
    const QStringView start = QStringView(text).trimmed();
    if (start.startsWith(u'<')) {
        const QString root = rootElement(text);
        if (root == QLatin1String("gpx"))
            return WaypointFileFormat::Gpx;
        if (root == QLatin1String("kml"))
            return WaypointFileFormat::Kml;
        return std::nullopt;
    }
    const QList<QStringView> lines = leadingLines(text, WptHeaderSearchLines);
    if (lines.isEmpty())
        return std::nullopt;
    if (lines.first().trimmed().startsWith(QLatin1String("OziExplorer Waypoint File"), Qt::CaseInsensitive))
        return WaypointFileFormat::OziExplorer;
    if (waypointformats::looksLikeSeeYouCup(lines.first()))
        return WaypointFileFormat::SeeYouCup;
    for (const QStringView line : lines) {
        if (line.size() >= 3 && firstWord(line) == QLatin1String("G"))
            return WaypointFileFormat::Wpt;
    }
    return std::nullopt;
}

Result<WaypointFileReading> readWaypointData(const QByteArray& bytes, const QString& fileName,
                                             const WaypointReadOptions& options)
{
    using Failure = Result<WaypointFileReading>;
    const auto fail = [&](const QString& why) {
        return Failure::failure(failureText(fileName, why).toStdString());
    };
    if (withoutUtf8Bom(bytes).trimmed().isEmpty())
        return fail(QStringLiteral("the file is empty; %1").arg(QLatin1String(TriedFormats)));
    const auto format = detectWaypointFormat(bytes);
    if (!format)
        return fail(
            QStringLiteral("not a waypoint file in a known format; %1").arg(QLatin1String(TriedFormats)));

    Result<waypointformats::Reading> read = waypointformats::Reading{};
    switch (*format) {
    case WaypointFileFormat::Wpt:
        read = readWptDialect(bytes);
        break;
    case WaypointFileFormat::OziExplorer:
        read = waypointformats::readOziExplorer(waypointformats::decodeText(bytes));
        break;
    case WaypointFileFormat::SeeYouCup:
        read = waypointformats::readSeeYouCup(waypointformats::decodeText(bytes));
        break;
    case WaypointFileFormat::Gpx:
        read = waypointformats::readGpx(bytes, options.routePointsAsWaypoints);
        break;
    case WaypointFileFormat::Kml:
        read = waypointformats::readKml(bytes);
        break;
    case WaypointFileFormat::Kmz: {
        const Result<QByteArray> kml = waypointformats::kmlFromKmz(bytes);
        if (!kml)
            return fail(QStringLiteral("KMZ: %1").arg(QString::fromStdString(kml.error())));
        read = waypointformats::readKml(*kml);
        break;
    }
    }
    if (!read)
        return fail(
            QStringLiteral("%1: %2").arg(waypointFormatName(*format), QString::fromStdString(read.error())));
    WaypointFileReading reading;
    reading.format = *format;
    reading.waypoints = std::move(read->waypoints);
    reading.skipped = read->skipped;
    reading.routePointsNotRead = read->routePointsNotRead;
    return reading;
}

Result<WaypointFileReading> readWaypointFile(const QString& path, const WaypointReadOptions& options)
{
    using Failure = Result<WaypointFileReading>;
    // Devices and FIFOs are not files: reading them could block or never end.
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return Failure::failure(failureText(path, QStringLiteral("cannot read the file")).toStdString());
    if (info.size() > MaxFileBytes)
        return Failure::failure(failureText(path, QStringLiteral("the file is too large for a waypoint file "
                                                                 "(more than %1 MB)")
                                                      .arg(MaxFileBytes / (1024 * 1024)))
                                    .toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure::failure(
            failureText(path, QStringLiteral("cannot read the file: %1").arg(file.errorString()))
                .toStdString());
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes)
        return Failure::failure(failureText(path, QStringLiteral("the file is too large for a waypoint file "
                                                                 "(more than %1 MB)")
                                                      .arg(MaxFileBytes / (1024 * 1024)))
                                    .toStdString());
    return readWaypointData(bytes, path, options);
}

QString waypointReadingSummary(const QString& fileName, const WaypointFileReading& reading)
{
    QString text = QStringLiteral("%1: %2 waypoint%3 (%4)")
                       .arg(fileName)
                       .arg(reading.waypoints.size())
                       .arg(reading.waypoints.size() == 1 ? "" : "s")
                       .arg(waypointFormatName(reading.format));
    if (reading.skipped > 0)
        text += QStringLiteral(", %1 unreadable %2 skipped")
                    .arg(reading.skipped)
                    .arg(reading.skipped == 1 ? QStringLiteral("entry") : QStringLiteral("entries"));
    if (reading.routePointsNotRead > 0)
        text += QStringLiteral(", %1 route point%2 not read")
                    .arg(reading.routePointsNotRead)
                    .arg(reading.routePointsNotRead == 1 ? "" : "s");
    return text;
}

QStringList waypointImportFilters()
{
    return {QStringLiteral("Waypoint files (*.wpt *.WPT *.cup *.CUP *.gpx *.GPX *.kml *.KML *.kmz *.KMZ)"),
            QStringLiteral("WPT and OziExplorer WPT (*.wpt *.WPT)"),
            QStringLiteral("SeeYou CUP (*.cup *.CUP)"),
            QStringLiteral("GPX (*.gpx *.GPX)"),
            QStringLiteral("KML and KMZ (*.kml *.KML *.kmz *.KMZ)"),
            QStringLiteral("All files (*)")};
}

QStringList waypointExportFilters()
{
    return {QStringLiteral("SeeYou CUP (*.cup)"), QStringLiteral("GPX (*.gpx)"),
            QStringLiteral("WPT (*.wpt)")};
}

QString waypointFileSuffix(WaypointFileFormat format)
{
    switch (format) {
    case WaypointFileFormat::SeeYouCup:
        return QStringLiteral("cup");
    case WaypointFileFormat::Gpx:
        return QStringLiteral("gpx");
    case WaypointFileFormat::Kml:
        return QStringLiteral("kml");
    case WaypointFileFormat::Kmz:
        return QStringLiteral("kmz");
    case WaypointFileFormat::Wpt:
    case WaypointFileFormat::OziExplorer:
        return QStringLiteral("wpt");
    }
    return {};
}

std::optional<WaypointFileFormat> waypointExportFormat(const QString& path, const QString& selectedFilter)
{
    const auto fromSuffix = [](const QString& suffix) -> std::optional<WaypointFileFormat> {
        for (const WaypointFileFormat format :
             {WaypointFileFormat::SeeYouCup, WaypointFileFormat::Gpx, WaypointFileFormat::Wpt}) {
            if (suffix.compare(waypointFileSuffix(format), Qt::CaseInsensitive) == 0)
                return format;
        }
        return std::nullopt;
    };
    if (const auto format = fromSuffix(QFileInfo(path).suffix()))
        return format;
    const qsizetype star = selectedFilter.indexOf(QLatin1String("(*."));
    if (star < 0)
        return std::nullopt;
    const qsizetype close = selectedFilter.indexOf(u')', star);
    return fromSuffix(selectedFilter.mid(star + 3, close < 0 ? -1 : close - star - 3));
}

QString waypointExportPath(const QString& path, const QString& selectedFilter)
{
    if (waypointExportFormat(path))
        return path;
    const auto chosen = waypointExportFormat(QString(), selectedFilter);
    return chosen ? path + u'.' + waypointFileSuffix(*chosen) : path;
}

std::optional<QByteArray> waypointFileBytes(WaypointFileFormat format, const QList<WptEntry>& entries)
{
    switch (format) {
    case WaypointFileFormat::Wpt:
        return WPTImporter::encodeFile(WPTImporter::getWPTFileFromWaypoints(entries));
    case WaypointFileFormat::SeeYouCup:
        return waypointformats::writeSeeYouCup(entries);
    case WaypointFileFormat::Gpx:
        return waypointformats::writeGpx(entries);
    case WaypointFileFormat::OziExplorer:
    case WaypointFileFormat::Kml:
    case WaypointFileFormat::Kmz:
        return std::nullopt;
    }
    return std::nullopt;
}

Result<Done> writeWaypointFile(const QString& path, WaypointFileFormat format, const QList<WptEntry>& entries)
{
    const auto bytes = waypointFileBytes(format, entries);
    if (!bytes)
        return Result<Done>::failure(
            failureText(path, QStringLiteral("%1 files are not written").arg(waypointFormatName(format)))
                .toStdString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return Result<Done>::failure(
            failureText(path, QStringLiteral("cannot write the file: %1").arg(file.errorString()))
                .toStdString());
    return Done{};
}

} // namespace kalvora
