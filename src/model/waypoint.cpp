#include "model/waypoint.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QUrl>

#include <cmath>

#include "model/waypointdata.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "track/placefinder.h"

namespace kalvora {
namespace {

const bool registered = registerRecordClass<Waypoint>();

struct SharedState
{
    QMutex mutex;
    std::function<void()> uploadStarter;
    double locationLatitude = 0;
    double locationLongitude = 0;
    std::optional<double> flightLatitude;
    std::optional<double> flightLongitude;
};

SharedState& shared()
{
    static SharedState state;
    return state;
}

/** A received number: decimal text, leading blanks allowed; absent or not a number reads as 0. */
qint64 integerFrom(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('-') || t[end] == QLatin1Char('+')))
        ++end;
    while (end < t.size() && t[end].isDigit() && t[end].unicode() < 128)
        ++end;
    bool ok = false;
    const qint64 value = t.left(end).toLongLong(&ok);
    return ok ? value : 0;
}

double doubleFrom(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

qint64 microdegrees(double degrees)
{
    const double v = std::trunc(degrees * 1000000.0);
    return std::isfinite(v) && std::fabs(v) < 1e15 ? qint64(v) : 0;
}

} // namespace

Waypoint::Waypoint(QObject* parent) : StoredObject(parent)
{
    (void)registered;
}

const QStringList& Waypoint::watchedKeys()
{
    static const QStringList keys{
        QStringLiteral("altitude"),      QStringLiteral("city"),           QStringLiteral("country"),
        QStringLiteral("county"),        QStringLiteral("group"),          QStringLiteral("house"),
        QStringLiteral("latitude"),      QStringLiteral("longitude"),      QStringLiteral("name"),
        QStringLiteral("notice"),        QStringLiteral("shortName"),      QStringLiteral("state"),
        QStringLiteral("street"),        QStringLiteral("windFrom"),       QStringLiteral("windTo"),
        QStringLiteral("latitudeRange"), QStringLiteral("longitudeRange"), QStringLiteral("radius"),
    };
    return keys;
}

std::optional<qint64> Waypoint::optionalInteger(const char* key) const
{
    const QVariant v = value(QLatin1String(key));
    if (!v.isValid())
        return std::nullopt;
    return v.toLongLong();
}

std::optional<qint64> Waypoint::dbID() const
{
    return optionalInteger("dbID");
}

void Waypoint::setDbID(std::optional<qint64> id)
{
    setValue(QStringLiteral("dbID"), id ? QVariant(*id) : QVariant());
}

std::optional<qint64> Waypoint::radius() const
{
    return optionalInteger("radius");
}

std::optional<qint64> Waypoint::windFrom() const
{
    return optionalInteger("windFrom");
}

std::optional<qint64> Waypoint::windTo() const
{
    return optionalInteger("windTo");
}

std::optional<qint64> Waypoint::size() const
{
    const qint64 d = PlaceFinder::gpsDistance(double(maxLatitude()), double(maxLongitude()),
                                              double(minLatitude()), double(minLongitude()));
    if (d <= 0)
        return std::nullopt;
    return d;
}

QString Waypoint::distance() const
{
    double lat = 0;
    double lon = 0;
    {
        QMutexLocker lock(&shared().mutex);
        lat = shared().locationLatitude;
        lon = shared().locationLongitude;
    }
    if ((lat == 0 && lon == 0) || !hasValue(QStringLiteral("latitude")) ||
        !hasValue(QStringLiteral("longitude")))
        return {};
    return stringFromDistance(PlaceFinder::gpsDistance(lat, lon, double(latitude()), double(longitude())));
}

QString Waypoint::distanceFromFlightWaypoint() const
{
    std::optional<double> lat;
    std::optional<double> lon;
    {
        QMutexLocker lock(&shared().mutex);
        lat = shared().flightLatitude;
        lon = shared().flightLongitude;
    }
    if (!lat || !lon || !hasValue(QStringLiteral("latitude")) || !hasValue(QStringLiteral("longitude")))
        return {};
    return stringFromDistance(PlaceFinder::gpsDistance(*lat, *lon, double(latitude()), double(longitude())));
}

void Waypoint::clearWaypoint()
{
    setSyncOnline(0);
    setValue(QStringLiteral("lastModified"), now());
}

void Waypoint::initWithWaypointData(const WaypointData* data)
{
    if (!data)
        return;
    const WaypointData& d = *data;
    // Not shared while the record is applied, so that its assignments start no upload.
    setSyncOnline(0);
    setAltitude(integerFrom(d.altitude));
    setValue(QStringLiteral("city"), d.city);
    setValue(QStringLiteral("country"), d.country);
    setValue(QStringLiteral("county"), d.county);
    setValue(QStringLiteral("group"), d.group);
    setValue(QStringLiteral("house"), d.house);
    setValue(QStringLiteral("lastModified"), doubleFrom(d.lastModified));
    setLatitude(integerFrom(d.latitude));
    setLatitudeRange(integerFrom(d.latitudeRange));
    setLongitude(integerFrom(d.longitude));
    setLongitudeRange(integerFrom(d.longitudeRange));
    setValue(QStringLiteral("name"), d.name);
    setValue(QStringLiteral("notice"), d.notice);
    setValue(QStringLiteral("shortName"), d.shortName);
    setValue(QStringLiteral("state"), d.state);
    setValue(QStringLiteral("street"), d.street);
    // -1 is the database's "no wind sector": the stored sector stays.
    if (const qint64 from = integerFrom(d.windFrom); from != -1)
        setWindFrom(from);
    if (const qint64 to = integerFrom(d.windTo); to != -1)
        setWindTo(to);
    setDbID(integerFrom(d.dbID));
    setRadius(integerFrom(d.radius));
    setSyncStatus(1);
    setSyncOnline(1);
    setMacaddress(d.macaddress);
}

void Waypoint::setDoubleLatitude(double degrees)
{
    NotificationCenter::instance().post(QLatin1String(notifications::WaypointChanged), this);
    setLatitude(microdegrees(degrees));
}

void Waypoint::setDoubleLongitude(double degrees)
{
    NotificationCenter::instance().post(QLatin1String(notifications::WaypointChanged), this);
    setLongitude(microdegrees(degrees));
}

QByteArray Waypoint::urlStringForUpload() const
{
    const auto text = [this](const char* key) {
        return QUrl::toPercentEncoding(stringValue(QLatin1String(key)));
    };
    const auto number = [](qint64 v) { return QByteArray::number(v); };
    QByteArray out;
    out += "altitude=" + number(altitude());
    out += "&city=" + text("city");
    out += "&country=" + text("country");
    out += "&county=" + text("county");
    out += "&group=" + text("group");
    out += "&house=" + text("house");
    out += "&lastModified=" + QByteArray::number(lastModified(), 'f', 6);
    out += "&latitude=" + number(latitude());
    out += "&latitudeRange=" + number(latitudeRange());
    out += "&longitude=" + number(longitude());
    out += "&longitudeRange=" + number(longitudeRange());
    out += "&name=" + text("name");
    out += "&notice=" + text("notice");
    out += "&shortName=" + text("shortName");
    out += "&state=" + text("state");
    out += "&street=" + text("street");
    out += "&windFrom=" + number(windFrom().value_or(-1));
    out += "&windTo=" + number(windTo().value_or(-1));
    out += "&dbID=" + number(dbID().value_or(-1));
    const std::optional<qint64> r = radius();
    out += "&radius=" + number(r && *r >= 0 ? *r : 250);
    return out;
}

QString Waypoint::stringFromDistance(qint64 metres)
{
    if (metres > 999)
        return QString::asprintf("%5.1f km", double(metres) / 1000.0);
    return QString::asprintf("%3lld m", static_cast<long long>(metres));
}

double Waypoint::now()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

void Waypoint::setUploadStarter(std::function<void()> starter)
{
    QMutexLocker lock(&shared().mutex);
    shared().uploadStarter = std::move(starter);
}

void Waypoint::setCurrentLocation(double latitudeMicro, double longitudeMicro)
{
    QMutexLocker lock(&shared().mutex);
    shared().locationLatitude = latitudeMicro;
    shared().locationLongitude = longitudeMicro;
}

void Waypoint::setFlightReferencePoint(std::optional<double> latitudeMicro,
                                       std::optional<double> longitudeMicro)
{
    QMutexLocker lock(&shared().mutex);
    shared().flightLatitude = latitudeMicro;
    shared().flightLongitude = longitudeMicro;
}

void Waypoint::didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue)
{
    StoredObject::didChangeValue(key, oldValue, newValue);
    // A merge brings values another context already tracked and saved.
    if (isRefreshing() || !watchedKeys().contains(key))
        return;
    if (key == QLatin1String("altitude") || key == QLatin1String("latitude") ||
        key == QLatin1String("longitude") || key == QLatin1String("radius"))
        NotificationCenter::instance().post(QLatin1String(notifications::WaypointChanged), this);
    setValue(QStringLiteral("lastModified"), now());
    if (syncStatus() == 1)
        setSyncStatus(0);
    if (syncOnline() == 1 && syncStatus() == 0) {
        if (ObjectContext* ctx = context())
            (void)ctx->save();
        std::function<void()> starter;
        {
            QMutexLocker lock(&shared().mutex);
            starter = shared().uploadStarter;
        }
        if (starter)
            starter();
    }
}

QVariant Waypoint::derivedValue(const QString& key) const
{
    if (key == QLatin1String("doubleLatitude"))
        return doubleLatitude();
    if (key == QLatin1String("doubleLongitude"))
        return doubleLongitude();
    if (key == QLatin1String("minLatitude"))
        return minLatitude();
    if (key == QLatin1String("maxLatitude"))
        return maxLatitude();
    if (key == QLatin1String("minLongitude"))
        return minLongitude();
    if (key == QLatin1String("maxLongitude"))
        return maxLongitude();
    if (key == QLatin1String("size")) {
        const auto s = size();
        return s ? QVariant(*s) : QVariant();
    }
    if (key == QLatin1String("distance"))
        return distance();
    if (key == QLatin1String("distanceFromFlightWaypoint"))
        return distanceFromFlightWaypoint();
    if (key == QLatin1String("continent"))
        return QString(QLatin1String(""));
    if (key == QLatin1String("editable"))
        return true;
    return StoredObject::derivedValue(key);
}

QStringList Waypoint::derivedKeysAffectedBy(const QString& key) const
{
    if (key == QLatin1String("latitude") || key == QLatin1String("latitudeRange"))
        return {QStringLiteral("minLatitude"), QStringLiteral("maxLatitude"),
                QStringLiteral("doubleLatitude")};
    if (key == QLatin1String("longitude") || key == QLatin1String("longitudeRange"))
        return {QStringLiteral("minLongitude"), QStringLiteral("maxLongitude"),
                QStringLiteral("doubleLongitude")};
    return StoredObject::derivedKeysAffectedBy(key);
}

} // namespace kalvora
