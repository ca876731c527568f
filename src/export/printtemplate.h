#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

#include "track/result.h"

namespace kalvora {

class Flight;
class Pilot;

/** The pilot's values a print template may use. Calendar dates are the days as stored (UTC). */
struct PrintPilot
{
    QString firstname;
    QString lastname;
    QString street;   ///< `address`
    QString state;    ///< `address2`
    QString zip;
    QString city;
    QString country;
    QString license;
    QDate birth;       ///< invalid: not given
    QDate licenseDate; ///< invalid: not given
    bool operator==(const PrintPilot&) const = default;
};

/**
 * One flight's values as printed. Numbers are in base units as stored; an
 * absent number is 0. Times of day and the date are already in the clock they
 * are printed in (local ones shifted by the flight's offset).
 */
struct PrintFlight
{
    double cummoAltitude = 0;      ///< [m]
    double altitudeDifference = 0; ///< [m]
    double maxAltitude = 0;        ///< [m]
    double minAltitude = 0;        ///< [m]
    std::optional<double> distance; ///< [km]; absent while not computed
    QDate date;                    ///< local take-off date
    QString glider;
    QString harness;
    QTime startLocal;
    QTime startUTC;
    QTime landingLocal;
    QTime landingUTC;
    QString startLocation;
    QString landingLocation;
    QString notice;
    double meanSpeed = 0; ///< [km/h] kept as `minSpeed`
    double maxSpeed = 0;  ///< [km/h]
    double maxVario = 0;  ///< [m/s]
    double minVario = 0;  ///< [m/s]
    QString flightTime;   ///< "HH:MM:SS" as the flight list shows it
    bool operator==(const PrintFlight&) const = default;
};

/** The filled template: one HTML text per printed page group, and the layout the template asks for. */
struct PrintDocument
{
    /** One entry unless the template fixes the flights per page; each is a whole HTML text. */
    QStringList pages;
    int flightsPerPage = 0; ///< "@@@@@page_flight_count@@@@@N@@@@@"; 0: the pages break where they fill
    int pageWidth = 0;      ///< "@@@@@page_width@@@@@N@@@@@": layout width [px]; 0: the default
    int pageHeight = 0;     ///< "@@@@@page_height@@@@@N@@@@@" (kept for templates; the page decides)
};

/**
 * Fills an HTML print template. Lines are separated by "\n". The lines strictly
 * between the line holding "@@@@@flight_data_start@@@@@" and the next one holding
 * "@@@@@flight_data_end@@@@@" are repeated for each flight with its "@@@@@flight…@@@@@"
 * tokens filled in; every other "@@@@@name@@@@@" token takes the pilot's value
 * (empty without a pilot or for an empty field). Every value is HTML-escaped and its
 * line breaks become "<br>". Lines holding a page token are kept as they stand.
 * @return the document, or the reason it cannot be printed: empty template, a token
 *         without its closing "@@@@@", an unknown pilot token, or no flight block.
 *         Pure; any thread.
 */
[[nodiscard]] Result<PrintDocument> expandPrintTemplate(const QString& printTemplate,
                                                        const std::optional<PrintPilot>& pilot,
                                                        const QList<PrintFlight>& flights);

/** The print values of a stored pilot. GUI thread (or the thread owning its store). */
[[nodiscard]] PrintPilot printPilot(const Pilot& pilot);
/** The print values of a stored flight. */
[[nodiscard]] PrintFlight printFlight(const Flight& flight);

/** The built-in template "PrintTemplate"; nullopt when it cannot be read. */
[[nodiscard]] std::optional<QString> builtInPrintTemplate();

/** Reads a template file as UTF-8; the error names the path and the reason. */
[[nodiscard]] Result<QString> readPrintTemplate(const QString& path);

} // namespace kalvora
