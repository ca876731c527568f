#include "model/flight.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

#include "model/igcscorepoint.h"
#include "model/settings.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"

namespace kalvora {

namespace {

const bool g_registered = registerRecordClass<Flight>();

/** Feet per metre as altitude texts of flights use it (the unit formatters use the exact factor). */
constexpr double FlightFeetPerMetre = 3.2808;

const QStringList& watchedKeys()
{
    static const QStringList keys{QStringLiteral("startUTC"),       QStringLiteral("igcData"),
                                  QStringLiteral("landingUTC"),     QStringLiteral("igcScorePoints"),
                                  QStringLiteral("freeDistance"),   QStringLiteral("flatDistance"),
                                  QStringLiteral("faiDistance")};
    return keys;
}

bool altitudeInFeet()
{
    const auto units = Settings::current();
    return units && units->altitudeUnitIndex != 0;
}

} // namespace

ScoreType scoreTypeOf(double f, double t, double a)
{
    if (f == 0)
        return ScoreType::FreeDistance;
    if (1.5 * f > 1.75 * t && 1.5 * f > 2.0 * a)
        return ScoreType::FreeDistance;
    if (1.75 * t > 2.0 * a)
        return ScoreType::FlatTriangle;
    return ScoreType::FAITriangle;
}

double xcPointsOf(double f, double t, double a, std::optional<int> xcPointsType)
{
    if (f <= 0)
        return f;
    const bool firstSystem = xcPointsType && *xcPointsType == 0;
    const double freeFactor = firstSystem ? 1.0 : 1.5;
    const double flatFactor = firstSystem ? 1.2 : 1.75;
    const double faiFactor = firstSystem ? 1.4 : 2.0;
    return std::max({f * freeFactor, t * flatFactor, a * faiFactor});
}

QList<IGCScorePoint*> Flight::igcScorePoints() const
{
    QList<IGCScorePoint*> points;
    for (StoredObject* o : relatedObjects(QStringLiteral("igcScorePoints")))
        if (auto* p = qobject_cast<IGCScorePoint*>(o))
            points.append(p);
    std::stable_sort(points.begin(), points.end(),
                     [](const IGCScorePoint* a, const IGCScorePoint* b) { return a->index() < b->index(); });
    return points;
}

QDateTime Flight::startLocal() const
{
    const QDateTime utc = startUTC();
    return utc.isValid() ? utc.addMSecs(qint64(std::llround(utcOffset() * 3600000.0))) : QDateTime();
}

QDateTime Flight::landingLocal() const
{
    const QDateTime utc = landingUTC();
    return utc.isValid() ? utc.addMSecs(qint64(std::llround(utcOffset() * 3600000.0))) : QDateTime();
}

QString Flight::equipment() const
{
    const QString g = glider();
    const QString h = harness();
    if (!g.isEmpty() && !h.isEmpty())
        return g + QStringLiteral(" / ") + h;
    return g + h;
}

double Flight::flightTime() const
{
    const QDateTime start = startUTC();
    const QDateTime landing = landingUTC();
    if (!start.isValid() || !landing.isValid())
        return 0;
    return double(start.msecsTo(landing)) / 1000.0;
}

bool Flight::hasRecording() const
{
    return hasValue(QStringLiteral("contentHash")) || hasValue(QStringLiteral("igcData"));
}

QString Flight::flightTimeString() const
{
    const long long t = std::llround(flightTime());
    // A negative time (landing before take-off) is as meaningless as one beyond a day.
    if (t > 86400 || t < 0)
        return tr("Invalid");
    return QString::asprintf("%02lld:%02lld:%02lld", t / 3600, (t % 3600) / 60, t % 60);
}

double Flight::xcPoints() const
{
    const auto units = Settings::current();
    return xcPointsOf(freeDistance(), flatDistance(), faiDistance(),
                      units ? std::optional<int>(units->xcPointsType) : std::nullopt);
}

double Flight::distance() const
{
    const double f = freeDistance();
    if (f == 0)
        return 0;
    return std::max({f, flatDistance(), faiDistance()});
}

QString Flight::flightType() const
{
    const double f = freeDistance();
    if (f < -1)
        return tr("calc");
    if (f <= 0)
        return tr("n/a");
    switch (scoreTypeOf(f, flatDistance(), faiDistance())) {
    case ScoreType::FreeDistance:
        return tr("Freeflight");
    case ScoreType::FlatTriangle:
        return tr("Free \u25B2");
    case ScoreType::FAITriangle:
        return tr("FAI \u25B2");
    }
    return {};
}

void Flight::setStartLocal(const QDateTime& local)
{
    setStartUTC(local.isValid() ? local.addMSecs(-qint64(std::llround(utcOffset() * 3600000.0))) : QDateTime());
}

void Flight::setLandingLocal(const QDateTime& local)
{
    setLandingUTC(local.isValid() ? local.addMSecs(-qint64(std::llround(utcOffset() * 3600000.0))) : QDateTime());
}

void Flight::initFromFlightData(const FlightValues& d)
{
    auto set = [this](const char* key, const auto& v) {
        setValue(QString::fromLatin1(key), v ? QVariant(*v) : QVariant());
    };
    set("cummoAltitude", d.cummoAltitude);
    set("glider", d.glider);
    set("harness", d.harness);
    set("igcData", d.igcData);
    set("landingAltitude", d.landingAltitude);
    set("landingLocation", d.landingLocation);
    setLandingUTC(d.landingUTC);
    set("maxAltitude", d.maxAltitude);
    set("maxSpeed", d.maxSpeed);
    set("maxVario", d.maxVario);
    set("minAltitude", d.minAltitude);
    set("minSpeed", d.minSpeed);
    set("minVario", d.minVario);
    set("startAltitude", d.startAltitude);
    set("startLocation", d.startLocation);
    setStartUTC(d.startUTC);
    set("utcOffset", d.utcOffset);
    setValidIGC(d.validIGC);
    set("startLatitude", d.startLatitude);
    set("startLongitude", d.startLongitude);
    set("landingLatitude", d.landingLatitude);
    set("landingLongitude", d.landingLongitude);
    set("startWaypointLatitude", d.startWaypointLatitude);
    set("startWaypointLongitude", d.startWaypointLongitude);
    set("landingWaypointLatitude", d.landingWaypointLatitude);
    set("landingWaypointLongitude", d.landingWaypointLongitude);
    setFaiDistance(-1);
    setFlatDistance(-1);
    setFreeDistance(-1);
    set("glidertype", d.glidertype);
}

void Flight::clearFlight()
{
    static const char* const cleared[] = {
        "startUTC",       "landingUTC",     "startLocation",   "landingLocation",  "notice",
        "igcData",        "maxSpeed",       "minSpeed",        "maxVario",         "minVario",
        "cummoAltitude",  "maxAltitude",    "minAltitude",     "landingAltitude",  "startAltitude",
        "photoDirectory", "glider",         "harness",         "utcOffset",        "startLatitude",
        "startLongitude", "landingLatitude", "landingLongitude", "startWaypointLatitude",
        "startWaypointLongitude", "landingWaypointLatitude", "landingWaypointLongitude"};
    for (const char* key : cleared)
        setValue(QString::fromLatin1(key), QVariant());
    setValidIGC(false);
}

void Flight::setXCData(const XCData* data)
{
    if (!data)
        return;
    setFreeDistance(data->freeDistance);
    setFlatDistance(data->flatDistance);
    setFaiDistance(data->faiDistance);
    ObjectContext* ctx = context();
    if (!ctx)
        return;
    for (IGCScorePoint* old : igcScorePoints())
        ctx->deleteObject(old);
    qint64 index = 0;
    for (const XCData::Point& p : data->scorePoints) {
        auto* point = ctx->insert<IGCScorePoint>();
        if (!point)
            continue;
        point->setIndex(index++);
        point->setLatitude(p.latitude);
        point->setLongitude(p.longitude);
        point->setFlight(this);
    }
}

void Flight::changeDate(const QDateTime& previousStartUTC)
{
    const QDateTime start = startUTC();
    const QDateTime landing = landingUTC();
    if (!start.isValid() || !landing.isValid())
        return;
    QDateTime moved;
    if (previousStartUTC.isValid()) {
        const qint64 days = previousStartUTC.toUTC().date().daysTo(start.date());
        if (days == 0)
            return;
        moved = landing.addDays(days);
    } else {
        moved = QDateTime(start.date(), landing.time(), Qt::UTC);
        if (moved < start)
            moved = moved.addDays(1);
    }
    if (moved.isValid() && moved != landing)
        setLandingUTC(moved);
}

QString Flight::altitudeString(double altitudeM)
{
    if (altitudeM == 0)
        return QString();
    const double shown = altitudeInFeet() ? altitudeM * FlightFeetPerMetre : altitudeM;
    return QString::asprintf("%0.0f", shown);
}

std::optional<double> Flight::altitudeFromString(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    double v = t.toDouble(&ok);
    if (!ok)
        v = QLocale().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return altitudeInFeet() ? v / FlightFeetPerMetre : v;
}

void Flight::didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue)
{
    StoredObject::didChangeValue(key, oldValue, newValue);
    if (!watchedKeys().contains(key))
        return;
    // A merge or an undo brings a landing that already fits its take-off.
    if (key == QLatin1String("startUTC") && !isRefreshing())
        changeDate(oldValue.toDateTime());
    NotificationCenter::instance().post(QString::fromLatin1(notifications::FlightChanged), this);
}

QVariant Flight::derivedValue(const QString& key) const
{
    if (key == QLatin1String("startLocal"))
        return startLocal();
    if (key == QLatin1String("landingLocal"))
        return landingLocal();
    if (key == QLatin1String("date"))
        return date();
    if (key == QLatin1String("equipment"))
        return equipment();
    if (key == QLatin1String("flightTime"))
        return flightTime();
    if (key == QLatin1String("flightTimeString"))
        return flightTimeString();
    if (key == QLatin1String("xcPoints"))
        return xcPoints();
    if (key == QLatin1String("distance"))
        return distance();
    if (key == QLatin1String("flightType"))
        return flightType();
    if (key == QLatin1String("altitudeDifference"))
        return altitudeDifference();
    return StoredObject::derivedValue(key);
}

QStringList Flight::derivedKeysAffectedBy(const QString& key) const
{
    if (key == QLatin1String("startUTC"))
        return {QStringLiteral("startLocal"), QStringLiteral("date"), QStringLiteral("flightTime"),
                QStringLiteral("flightTimeString")};
    if (key == QLatin1String("landingUTC"))
        return {QStringLiteral("landingLocal"), QStringLiteral("flightTime"), QStringLiteral("flightTimeString")};
    if (key == QLatin1String("utcOffset"))
        return {QStringLiteral("startLocal"), QStringLiteral("landingLocal")};
    if (key == QLatin1String("glider") || key == QLatin1String("harness"))
        return {QStringLiteral("equipment")};
    if (key == QLatin1String("freeDistance") || key == QLatin1String("flatDistance") ||
        key == QLatin1String("faiDistance"))
        return {QStringLiteral("distance"), QStringLiteral("xcPoints"), QStringLiteral("flightType")};
    if (key == QLatin1String("startAltitude") || key == QLatin1String("landingAltitude"))
        return {QStringLiteral("altitudeDifference")};
    return {};
}

} // namespace kalvora
