#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include "track/result.h"

namespace kalvora {

class Flight;

/** The two contests a flight can be sent to. */
enum class Contest
{
    DHVXC,
    XContest,
};

/** "DHV-XC" or "XContest": how the user knows the contest. */
QString contestName(Contest contest);
/** "dhvxc" or "xcontest": the contest's key in submission records and on the command line. */
QString contestKey(Contest contest);

/**
 * The server of CONTEST: the environment variable (KALVORA_DHVXC_URL,
 * KALVORA_XCONTEST_URL) when set, else the preference ("dhvxc/url",
 * "xcontest/url"), else the public server. Only an https address is accepted:
 * the requests carry the pilot's password.
 */
[[nodiscard]] Result<QUrl> contestBaseUrl(Contest contest);

/**
 * The program's key and secret at the XContest API gate: KALVORA_XCONTEST_API_KEY
 * and KALVORA_XCONTEST_API_SECRET, else the preferences "xcontest/apiKey" and
 * "xcontest/apiSecret", else the program's own.
 */
QString xcontestApiKey();
QString xcontestApiSecret();

/** What a submission takes of one flight, read on the GUI thread before the worker starts. */
struct ContestFlight
{
    QString id;            ///< the flight's object URI
    QByteArray igc;        ///< the stored record's bytes, as imported
    QString notice;
    QString glider;
    QString startLocation;
    QDateTime startUTC;
    bool operator==(const ContestFlight&) const = default;
};

[[nodiscard]] ContestFlight contestFlight(const Flight& flight);

/**
 * The glider model in a flight's glider text: up to the first " (" when
 * there is one, else (with STOPATCOMMA) up to the first ",", else the whole text.
 */
[[nodiscard]] QString gliderModelOf(const QString& glider, bool stopAtComma);

/** How a submission ended: sent and accepted, or why not. */
struct SubmissionOutcome
{
    bool success = false;
    /** For the user: the server's answer page (HTML) or the reason of the failure. */
    QString message;
    /** Whether `message` is the server's HTML page rather than plain text. */
    bool messageIsHtml = false;
    /** Where the server shows the flight, when it said so. */
    QString link;
    bool cancelled = false;
};

} // namespace kalvora
