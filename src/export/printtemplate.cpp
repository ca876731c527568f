#include "export/printtemplate.h"

#include <QFile>
#include <QLocale>
#include <QObject>
#include <QTimeZone>

#include <cmath>
#include <variant>
#include <vector>

#include "export/exportresources.h"
#include "model/flight.h"
#include "model/pilot.h"

namespace kalvora {

namespace {

const QString kDelimiter = QStringLiteral("@@@@@");
const QString kStartMarker = QStringLiteral("@@@@@flight_data_start@@@@@");
const QString kEndMarker = QStringLiteral("@@@@@flight_data_end@@@@@");
const QString kPageWidth = QStringLiteral("@@@@@page_width@@@@@");
const QString kPageHeight = QStringLiteral("@@@@@page_height@@@@@");
const QString kPageFlightCount = QStringLiteral("@@@@@page_flight_count@@@@@");

/** A template line cut into literal text (already final) and flight tokens still to fill. */
struct FlightToken
{
    QString name;
};
using Segment = std::variant<QString, FlightToken>;
using Line = std::vector<Segment>;

QString escaped(const QString& value)
{
    QString text = value.toHtmlEscaped();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    text.replace(QLatin1Char('\r'), QStringLiteral("<br>"));
    text.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return text;
}

QString fullDate(const QDate& date)
{
    return date.isValid() ? QLocale().toString(date, QLocale::LongFormat) : QString();
}

QString shortTime(const QTime& time)
{
    return time.isValid() ? QLocale().toString(time, QLocale::ShortFormat) : QString();
}

/** "%ld" of a stored number: cut towards zero. */
QString whole(double value)
{
    return std::isfinite(value) ? QString::number(static_cast<long long>(std::trunc(value))) : QString();
}

QString fixed(double value, int decimals)
{
    return std::isfinite(value) ? QString::asprintf("%.*f", decimals, value) : QString();
}

/** The pilot token's value; nullopt for a name the templates do not know. */
std::optional<QString> globalValue(const QString& name, const std::optional<PrintPilot>& pilot)
{
    static const QStringList known{
        QStringLiteral("pilot_birthday"),       QStringLiteral("pilot_city"),
        QStringLiteral("pikot_country"),        QStringLiteral("pilot_country"),
        QStringLiteral("pilot_firstname"),      QStringLiteral("pilot_lastname"),
        QStringLiteral("pilot_license_date"),   QStringLiteral("pilot_license_number"),
        QStringLiteral("pilot_state"),          QStringLiteral("pilot_street"),
        QStringLiteral("pilot_ZIP"),
    };
    if (!known.contains(name))
        return std::nullopt;
    if (!pilot)
        return QString();
    const PrintPilot& p = *pilot;
    if (name == QLatin1String("pilot_birthday"))
        return fullDate(p.birth);
    if (name == QLatin1String("pilot_city"))
        return p.city;
    if (name == QLatin1String("pikot_country") || name == QLatin1String("pilot_country"))
        return p.country;
    if (name == QLatin1String("pilot_firstname"))
        return p.firstname;
    if (name == QLatin1String("pilot_lastname"))
        return p.lastname;
    if (name == QLatin1String("pilot_license_date"))
        return fullDate(p.licenseDate);
    if (name == QLatin1String("pilot_license_number"))
        return p.license;
    if (name == QLatin1String("pilot_state"))
        return p.state;
    if (name == QLatin1String("pilot_street"))
        return p.street;
    return p.zip;
}

QString flightValue(const QString& name, const PrintFlight& f)
{
    if (name == QLatin1String("flight_altitude_cummolate"))
        return whole(f.cummoAltitude);
    if (name == QLatin1String("flight_altitude_difference"))
        return whole(f.altitudeDifference);
    if (name == QLatin1String("flight_altitude_max"))
        return whole(f.maxAltitude);
    if (name == QLatin1String("flight_altitude_min"))
        return whole(f.minAltitude);
    if (name == QLatin1String("flight_date"))
        return f.date.isValid() ? QLocale().toString(f.date, QLocale::ShortFormat) : QString();
    if (name == QLatin1String("flight_distance"))
        return f.distance && *f.distance >= 0 ? whole(*f.distance) : QString();
    if (name == QLatin1String("flight_equipment_glider"))
        return f.glider;
    if (name == QLatin1String("flight_equipment_harness"))
        return f.harness;
    if (name == QLatin1String("flight_landing_localtime"))
        return shortTime(f.landingLocal);
    if (name == QLatin1String("flight_landing_location"))
        return f.landingLocation;
    if (name == QLatin1String("flight_landing_utctime"))
        return shortTime(f.landingUTC);
    if (name == QLatin1String("flight_notice"))
        return f.notice;
    if (name == QLatin1String("flight_speed_average"))
        return fixed(f.meanSpeed, 2);
    if (name == QLatin1String("flight_speed_max"))
        return fixed(f.maxSpeed, 2);
    if (name == QLatin1String("flight_start_localtime"))
        return shortTime(f.startLocal);
    if (name == QLatin1String("flight_start_location"))
        return f.startLocation;
    if (name == QLatin1String("flight_start_utctime"))
        return shortTime(f.startUTC);
    if (name == QLatin1String("flight_time"))
        return f.flightTime;
    if (name == QLatin1String("flight_vario_max"))
        return fixed(f.maxVario, 1);
    if (name == QLatin1String("flight_vario_min"))
        return fixed(f.minVario, 1);
    return {};
}

/** The number after a page token up to the next delimiter, e.g. "@@@@@page_flight_count@@@@@25@@@@@" -> 25. */
int pageNumber(const QString& line, const QString& token)
{
    const qsizetype at = line.indexOf(token);
    if (at < 0)
        return 0;
    const qsizetype from = at + token.size();
    const qsizetype to = line.indexOf(kDelimiter, from);
    bool ok = false;
    const int value = line.mid(from, to < 0 ? -1 : to - from).trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

/** Cuts LINE into literal text with the pilot tokens filled and the flight tokens kept for later. */
Result<Line> parseLine(const QString& line, const std::optional<PrintPilot>& pilot)
{
    Line segments;
    QString literal;
    qsizetype position = 0;
    while (true) {
        const qsizetype open = line.indexOf(kDelimiter, position);
        if (open < 0) {
            literal += QStringView(line).mid(position);
            break;
        }
        literal += QStringView(line).mid(position, open - position);
        const qsizetype close = line.indexOf(kDelimiter, open + kDelimiter.size());
        if (close < 0)
            return Result<Line>::failure(
                QObject::tr("The token \"%1\" has no closing \"@@@@@\".").arg(line.mid(open, 40)).toStdString());
        const QString name = line.mid(open + kDelimiter.size(), close - open - kDelimiter.size());
        position = close + kDelimiter.size();
        if (name.left(6) == QLatin1String("flight")) {
            segments.emplace_back(std::move(literal));
            literal.clear();
            segments.emplace_back(FlightToken{name});
            continue;
        }
        const std::optional<QString> value = globalValue(name, pilot);
        if (!value)
            return Result<Line>::failure(QObject::tr("The template uses the unknown token \"%1\".")
                                             .arg(kDelimiter + name + kDelimiter)
                                             .toStdString());
        literal += escaped(*value);
    }
    if (!literal.isEmpty() || segments.empty())
        segments.emplace_back(std::move(literal));
    return segments;
}

void appendLine(QString& out, const Line& line, const PrintFlight* flight)
{
    for (const Segment& segment : line) {
        if (const auto* text = std::get_if<QString>(&segment))
            out += *text;
        else if (flight)
            out += escaped(flightValue(std::get<FlightToken>(segment).name, *flight));
        else
            out += kDelimiter + std::get<FlightToken>(segment).name + kDelimiter;
    }
    out += QLatin1Char('\n');
}

QDate utcDate(const QDateTime& instant)
{
    return instant.isValid() ? instant.toTimeZone(QTimeZone::utc()).date() : QDate();
}

QTime utcTime(const QDateTime& instant)
{
    return instant.isValid() ? instant.toTimeZone(QTimeZone::utc()).time() : QTime();
}

} // namespace

Result<PrintDocument> expandPrintTemplate(const QString& printTemplate, const std::optional<PrintPilot>& pilot,
                                          const QList<PrintFlight>& flights)
{
    if (printTemplate.isEmpty())
        return Result<PrintDocument>::failure(QObject::tr("The print template is empty.").toStdString());
    const QStringList lines = printTemplate.split(QLatin1Char('\n'));
    PrintDocument document;
    std::vector<Line> head;
    std::vector<Line> block;
    std::vector<Line> tail;
    enum class Part { Head, Block, Tail } part = Part::Head;
    for (const QString& line : lines) {
        if (line.contains(kPageWidth) || line.contains(kPageHeight) || line.contains(kPageFlightCount)) {
            document.pageWidth = std::max(document.pageWidth, pageNumber(line, kPageWidth));
            document.pageHeight = std::max(document.pageHeight, pageNumber(line, kPageHeight));
            document.flightsPerPage = std::max(document.flightsPerPage, pageNumber(line, kPageFlightCount));
            (part == Part::Head ? head : part == Part::Block ? block : tail).push_back(Line{line});
            continue;
        }
        if (part == Part::Head && line.contains(kStartMarker)) {
            part = Part::Block;
            continue;
        }
        if (part == Part::Block && line.contains(kEndMarker)) {
            part = Part::Tail;
            continue;
        }
        Result<Line> parsed = parseLine(line, pilot);
        if (!parsed)
            return Result<PrintDocument>::failure(parsed.error());
        (part == Part::Head ? head : part == Part::Block ? block : tail).push_back(std::move(*parsed));
    }
    if (part != Part::Tail || block.empty())
        return Result<PrintDocument>::failure(
            QObject::tr("The template has no flight block: a line with \"%1\" must come before one with \"%2\", "
                        "with the lines of one flight between them.")
                .arg(kStartMarker, kEndMarker)
                .toStdString());

    const qsizetype perPage = document.flightsPerPage > 0 ? document.flightsPerPage : std::max<qsizetype>(flights.size(), 1);
    qsizetype next = 0;
    do {
        QString page;
        for (const Line& line : head)
            appendLine(page, line, nullptr);
        for (const qsizetype end = std::min(flights.size(), next + perPage); next < end; ++next)
            for (const Line& line : block)
                appendLine(page, line, &flights[next]);
        for (const Line& line : tail)
            appendLine(page, line, nullptr);
        document.pages << page;
    } while (next < flights.size());
    return document;
}

PrintPilot printPilot(const Pilot& pilot)
{
    PrintPilot p;
    p.firstname = pilot.firstname();
    p.lastname = pilot.lastname();
    p.street = pilot.address();
    p.state = pilot.address2();
    p.zip = pilot.zip();
    p.city = pilot.city();
    p.country = pilot.country();
    p.license = pilot.license();
    // Calendar days stored as instants at 00:00 UTC: read back in UTC, or they fall a day early west of it.
    p.birth = utcDate(pilot.birth());
    p.licenseDate = utcDate(pilot.licensedate());
    return p;
}

PrintFlight printFlight(const Flight& flight)
{
    PrintFlight f;
    f.cummoAltitude = flight.cummoAltitude();
    f.altitudeDifference = flight.altitudeDifference();
    f.maxAltitude = flight.maxAltitude();
    f.minAltitude = flight.minAltitude();
    if (flight.freeDistance() >= 0)
        f.distance = flight.distance();
    // The day the pilot flew, beside local times: the local take-off date.
    f.date = utcDate(flight.startLocal());
    f.glider = flight.glider();
    f.harness = flight.harness();
    f.startLocal = utcTime(flight.startLocal());
    f.startUTC = utcTime(flight.startUTC());
    f.landingLocal = utcTime(flight.landingLocal());
    f.landingUTC = utcTime(flight.landingUTC());
    f.startLocation = flight.startLocation();
    f.landingLocation = flight.landingLocation();
    f.notice = flight.notice();
    f.meanSpeed = flight.minSpeed();
    f.maxSpeed = flight.maxSpeed();
    f.maxVario = flight.maxVario();
    f.minVario = flight.minVario();
    f.flightTime = flight.flightTimeString();
    return f;
}

std::optional<QString> builtInPrintTemplate()
{
    initExportResources();
    QFile file(QStringLiteral(":/export/PrintTemplate.htm"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

Result<QString> readPrintTemplate(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QString>::failure(
            QObject::tr("Print template\n\n%1\n\nnot found!\n\n%2").arg(path, file.errorString()).toStdString());
    return QString::fromUtf8(file.readAll());
}

} // namespace kalvora
