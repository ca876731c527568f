#include "contests/contestservice.h"

#include <QCoreApplication>
#include <QSettings>

#include "model/flight.h"
#include "services/httpclient.h"

namespace kalvora {

namespace {

// The program's own credentials at the XContest API gate.
constexpr const char* kApiKey = "4F1D2C7A9B3E5061-A2C4E6F8013579BD-5D3C1B2A49687F0E";
constexpr const char* kApiSecret = "e3b1f0a94c2d7856a1b0c9d8e7f6a5b4";

QString setting(const char* envVar, const char* key, const char* fallback)
{
    return serviceBaseUrl(QLatin1String(key), envVar, QLatin1String(fallback));
}

} // namespace

QString contestName(Contest contest)
{
    return contest == Contest::DHVXC ? QStringLiteral("DHV-XC") : QStringLiteral("XContest");
}

QString contestKey(Contest contest)
{
    return contest == Contest::DHVXC ? QStringLiteral("dhvxc") : QStringLiteral("xcontest");
}

Result<QUrl> contestBaseUrl(Contest contest)
{
    const QString text = contest == Contest::DHVXC
                             ? setting("KALVORA_DHVXC_URL", "dhvxc/url", "https://www.dhv-xc.de")
                             : setting("KALVORA_XCONTEST_URL", "xcontest/url", "https://www.xcontest.org");
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return Error{QCoreApplication::translate("Contests", "The address of %1 is not valid: \"%2\"")
                         .arg(contestName(contest), text)
                         .toStdString()};
    // The password goes with the request: never over an unencrypted line.
    if (url.scheme() != QLatin1String("https"))
        return Error{QCoreApplication::translate("Contests", "The address of %1 must begin with https:// (\"%2\").")
                         .arg(contestName(contest), text)
                         .toStdString()};
    return url;
}

QString xcontestApiKey()
{
    return setting("KALVORA_XCONTEST_API_KEY", "xcontest/apiKey", kApiKey);
}

QString xcontestApiSecret()
{
    return setting("KALVORA_XCONTEST_API_SECRET", "xcontest/apiSecret", kApiSecret);
}

ContestFlight contestFlight(const Flight& flight)
{
    ContestFlight values;
    values.id = flight.objectId().uriString();
    // Stored with one character per byte: Latin-1 gives back the imported bytes.
    values.igc = flight.igcData().toLatin1();
    values.notice = flight.notice();
    values.glider = flight.glider();
    values.startLocation = flight.startLocation();
    values.startUTC = flight.startUTC();
    return values;
}

QString gliderModelOf(const QString& glider, bool stopAtComma)
{
    const qsizetype parenthesis = glider.indexOf(QLatin1String(" ("));
    if (parenthesis >= 0)
        return glider.left(parenthesis);
    const qsizetype comma = stopAtComma ? glider.indexOf(QLatin1Char(',')) : -1;
    return comma >= 0 ? glider.left(comma) : glider;
}

} // namespace kalvora
