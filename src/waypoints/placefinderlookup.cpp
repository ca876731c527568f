#include "waypoints/placefinderlookup.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

#include "services/httpclient.h"
#include "waypoints/placeanswercache.h"
#include "waypoints/timezonefinder.h"

namespace kalvora {

namespace {

using Clock = std::chrono::steady_clock;

// The public services. Nominatim's usage policy asks for an identifying
// User-Agent (HttpClient sends one) and at most one request per second.
const char* const defaultNominatimUrl = "https://nominatim.openstreetmap.org";
// No public service is left that answers /timezone/LAT/LON with <offset> and
// <dst> tags (earthtools.org closed), so by default none is asked and the
// system's zone database gives the offset.

QString sixDecimals(double value)
{
    return QString::number(value, 'f', 6);
}

QUrl withPath(const QUrl& base, const QString& path)
{
    QUrl url = base;
    QString basePath = url.path();
    while (basePath.endsWith(u'/'))
        basePath.chop(1);
    url.setPath(basePath + path);
    return url;
}

QString decodeEntities(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9A-Fa-f]+|#[0-9]+|amp|lt|gt|quot|apos);"));
    QString out;
    qsizetype last = 0;
    auto it = entity.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        out += QStringView(text).mid(last, match.capturedStart() - last);
        const QString name = match.captured(1);
        if (name == u"amp")
            out += u'&';
        else if (name == u"lt")
            out += u'<';
        else if (name == u"gt")
            out += u'>';
        else if (name == u"quot")
            out += u'"';
        else if (name == u"apos")
            out += u'\'';
        else {
            bool ok = false;
            const uint code = name.startsWith(u"#x") ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t ch = code;
                out += QString::fromUcs4(&ch, 1);
            } else {
                out += match.captured(0);
            }
        }
        last = match.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

/** The text between the first <TAG> and the first </TAG> after it; nullopt when there is none. */
std::optional<QString> tagValue(const QString& text, const QString& tag)
{
    const QString open = u'<' + tag + u'>';
    const QString close = QStringLiteral("</") + tag + u'>';
    const qsizetype start = text.indexOf(open, 0, Qt::CaseInsensitive);
    if (start < 0)
        return std::nullopt;
    const qsizetype valueStart = start + open.size();
    const qsizetype end = text.indexOf(close, 0, Qt::CaseInsensitive);
    // A closing tag before the opening one is malformed: ignore the tag.
    if (end < valueStart)
        return std::nullopt;
    return decodeEntities(text.mid(valueStart, end - valueStart));
}

/**
 * A place name as the user will see it: control characters and line breaks
 * become spaces, runs of spaces one, and at most maxPlaceNameLength
 * characters stay (never half a surrogate pair).
 */
QString cleanPlaceName(const QString& text)
{
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), PlaceFinderLookup::maxPlaceNameLength + 1));
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        const bool breaking = category == QChar::Other_Control || category == QChar::Separator_Line ||
                              category == QChar::Separator_Paragraph;
        out += breaking ? QChar(u' ') : c;
    }
    out = out.simplified();
    if (out.size() > PlaceFinderLookup::maxPlaceNameLength) {
        qsizetype keep = PlaceFinderLookup::maxPlaceNameLength;
        if (out.at(keep - 1).isHighSurrogate())
            --keep;
        out.truncate(keep);
        out = out.trimmed();
    }
    return out;
}

struct PacingState
{
    std::mutex mutex;
    std::optional<Clock::time_point> lastStart;
};

PacingState& pacingState()
{
    static PacingState state;
    return state;
}

} // namespace

PlaceFinderLookup::PlaceFinderLookup(HttpClient& http, QUrl nominatimBaseUrl, QUrl timezoneBaseUrl,
                                     const TimeZoneFinder& timeZones)
    : m_http(http),
      m_nominatimBaseUrl(std::move(nominatimBaseUrl)),
      m_timezoneBaseUrl(std::move(timezoneBaseUrl)),
      m_timeZones(&timeZones)
{
}

PlaceFinderLookup::PlaceFinderLookup(HttpClient& http, QUrl nominatimBaseUrl, QUrl timezoneBaseUrl)
    : PlaceFinderLookup(http, std::move(nominatimBaseUrl), std::move(timezoneBaseUrl), TimeZoneFinder::system())
{
}

PlaceFinderLookup::PlaceFinderLookup(const PlaceFinderLookup& other)
    : m_http(other.m_http),
      m_nominatimBaseUrl(other.m_nominatimBaseUrl),
      m_timezoneBaseUrl(other.m_timezoneBaseUrl),
      m_timeZones(other.m_timeZones),
      m_cache(other.m_cache),
      m_failuresInARow(other.m_failuresInARow.load())
{
}

PlaceFinderLookup PlaceFinderLookup::fromSettings(HttpClient& http)
{
    return PlaceFinderLookup(
        http,
        QUrl(serviceBaseUrl(QString::fromLatin1(nominatimSettingsKey), nominatimEnvVar,
                            QString::fromLatin1(defaultNominatimUrl))),
        QUrl(serviceBaseUrl(QString::fromLatin1(timezoneSettingsKey), timezoneEnvVar, QString())));
}

HttpRequest PlaceFinderLookup::reverseRequest(const QUrl& base, double latitudeDeg, double longitudeDeg)
{
    HttpRequest request;
    request.url = withPath(base, QStringLiteral("/reverse"));
    // Built by hand so that the parameters keep this order and form.
    request.url.setQuery(QStringLiteral("format=xml&lat=%1&lon=%2&zoom=18&addressdetails=1")
                             .arg(sixDecimals(latitudeDeg), sixDecimals(longitudeDeg)));
    request.headers.append(std::pair<QByteArray, QByteArray>("Cache-Control", "no-cache"));
    request.timeoutMs = requestTimeoutMs;
    request.maxBodyBytes = maxAnswerBytes;
    return request;
}

HttpRequest PlaceFinderLookup::timezoneRequest(const QUrl& base, double latitudeDeg, double longitudeDeg)
{
    HttpRequest request;
    request.url =
        withPath(base, QStringLiteral("/timezone/%1/%2").arg(sixDecimals(latitudeDeg), sixDecimals(longitudeDeg)));
    request.headers.append(std::pair<QByteArray, QByteArray>("Cache-Control", "no-cache"));
    request.timeoutMs = requestTimeoutMs;
    request.maxBodyBytes = maxAnswerBytes;
    return request;
}

void PlaceFinderLookup::readAnswer(const QByteArray& answer, PlaceLookupResult& result)
{
    if (answer.isEmpty())
        return;
    const QString text = QString::fromUtf8(answer);

    if (const auto offset = tagValue(text, QStringLiteral("offset"))) {
        bool ok = false;
        const double hours = offset->trimmed().toDouble(&ok);
        // Unreadable text counts as 0 hours, as a number reader would give;
        // anything outside the real range of offsets is not an offset.
        result.utcOffset = ok && hours >= -12 && hours <= 14 ? hours : 0;
        result.hasUtcOffset = ok;
    }
    if (const auto dst = tagValue(text, QStringLiteral("dst")); dst && *dst == u"True")
        result.utcOffset += 1;

    const auto take = [&](const char* tag, std::optional<QString>& field) {
        if (auto value = tagValue(text, QString::fromLatin1(tag))) {
            QString clean = cleanPlaceName(*value);
            if (!clean.isEmpty())
                field = std::move(clean);
        }
    };
    take("city", result.city);
    take("county", result.county);
    take("state", result.state);
    take("country", result.country);
    take("country_code", result.countryCode);
    result.locationName = joinLocationName(result);
}

QString PlaceFinderLookup::joinLocationName(const PlaceLookupResult& result)
{
    QStringList parts;
    if (result.city)
        parts << *result.city;
    if (result.county && result.county != result.city)
        parts << *result.county;
    if (result.state && result.state != result.county)
        parts << *result.state;
    if (result.country)
        parts << *result.country;
    parts.removeAll(QString());
    return cleanPlaceName(parts.join(QStringLiteral(", ")));
}

std::chrono::milliseconds PlaceFinderLookup::pace()
{
    // The slot is claimed under the lock and waited for outside it, so that
    // threads queue up one second apart instead of all waking at once. The
    // recorded start is the moment the look-up really begins, not when it was
    // asked for: otherwise a third look-up could follow the second within
    // less than a second.
    auto& state = pacingState();
    Clock::time_point slot;
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard lock(state.mutex);
        slot = now;
        if (state.lastStart && *state.lastStart + std::chrono::seconds(1) > now)
            slot = *state.lastStart + std::chrono::seconds(1);
        state.lastStart = slot;
    }
    if (slot > now)
        std::this_thread::sleep_until(slot);
    return std::chrono::duration_cast<std::chrono::milliseconds>(slot - now);
}

PlaceLookupResult PlaceFinderLookup::lookup(double latitudeMicroDeg, double longitudeMicroDeg) const
{
    return lookupAt(latitudeMicroDeg, longitudeMicroDeg, nullptr);
}

PlaceLookupResult PlaceFinderLookup::lookup(double latitudeMicroDeg, double longitudeMicroDeg,
                                            const QDateTime& offsetAt) const
{
    return lookupAt(latitudeMicroDeg, longitudeMicroDeg, &offsetAt);
}

PlaceLookupResult PlaceFinderLookup::lookupAt(double latitudeMicroDeg, double longitudeMicroDeg,
                                              const QDateTime* offsetAt) const
{
    PlaceLookupResult result;
    result.latitude = latitudeMicroDeg / 1000000.0;
    result.longitude = longitudeMicroDeg / 1000000.0;
    const auto fromZoneDatabase = [&] {
        if (!offsetAt)
            return;
        const QString country = result.countryCode.value_or(QString());
        if (const auto zone = m_timeZones->find(result.latitude, result.longitude, country, *offsetAt)) {
            result.utcOffset = zone->utcOffset;
            result.hasUtcOffset = true;
        }
    };

    const qint64 latitudeE6 = std::llround(latitudeMicroDeg);
    const qint64 longitudeE6 = std::llround(longitudeMicroDeg);
    if (m_cache) {
        // Most flights of an archive start from a handful of sites: the
        // answer for a site is asked once and reused, across runs.
        if (const std::optional<PlaceAnswer> known = m_cache->find(latitudeE6, longitudeE6)) {
            result.city = known->city;
            result.county = known->county;
            result.state = known->state;
            result.country = known->country;
            result.countryCode = known->countryCode;
            result.locationName = joinLocationName(result);
            fromZoneDatabase();
            return result;
        }
    }

    // A service that failed several times in a row is not asked again until
    // resetFailures(): each failed look-up costs its time-outs and its pacing.
    if (hasGivenUp()) {
        result.unanswered = true;
        fromZoneDatabase();
        return result;
    }
    pace();

    const auto ask = [&](const HttpRequest& request) {
        const HttpResponse response = m_http.send(request);
        result.downloadData = response.ok() ? response.body : QByteArray();
        readAnswer(result.downloadData, result);
        return response.ok();
    };
    if (ask(reverseRequest(m_nominatimBaseUrl, result.latitude, result.longitude))) {
        m_failuresInARow = 0;
        if (m_cache)
            m_cache->remember({latitudeE6, longitudeE6, result.city, result.county, result.state, result.country,
                               result.countryCode, QDateTime::currentDateTimeUtc()});
    } else {
        result.unanswered = true;
        ++m_failuresInARow;
    }
    if (!m_timezoneBaseUrl.isEmpty() && !hasGivenUp())
        ask(timezoneRequest(m_timezoneBaseUrl, result.latitude, result.longitude));
    // A configured service that fails is no reason to show UTC: the zone
    // database answers as it does without a service.
    if (!result.hasUtcOffset)
        fromZoneDatabase();
    return result;
}

bool PlaceFinderLookup::hasGivenUp() const
{
    return m_failuresInARow >= failuresBeforeGivingUp;
}

void PlaceFinderLookup::resetFailures() const
{
    m_failuresInARow = 0;
}

std::optional<WaypointAddress> PlaceFinderAddressLookup::lookup(double latitudeMicro, double longitudeMicro)
{
    const PlaceLookupResult place = m_lookup.lookup(latitudeMicro, longitudeMicro);
    if (!place.city && !place.county && !place.state && !place.country)
        return std::nullopt;
    return WaypointAddress{place.city.value_or(QString()), place.county.value_or(QString()),
                           place.state.value_or(QString()), place.country.value_or(QString())};
}

} // namespace kalvora
