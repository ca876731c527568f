#include "waypoints/waypointsync.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>
#include <QMutexLocker>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <memory>

#include "model/waypoint.h"
#include "model/waypointdata.h"
#include "services/httpclient.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "waypoints/machineidentity.h"
#include "waypoints/waypointsyncprotocol.h"

namespace kalvora {
namespace {

/** A received integer: leading blanks, sign and digits; anything else reads as 0. */
qint64 integerFrom(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('-') || t[end] == QLatin1Char('+')))
        ++end;
    while (end < t.size() && t[end].unicode() >= '0' && t[end].unicode() <= '9')
        ++end;
    bool ok = false;
    const qint64 value = t.left(end).toLongLong(&ok);
    return ok ? value : 0;
}

/** Millionths of a degree, as the database sends them: digits present and the place on the globe. */
bool isStorablePosition(const WaypointData& record)
{
    const auto millionths = [](const QString& text, qint64 limit) {
        // The same leading integer the record is stored with; no digits, or too many, is no place.
        const QString t = text.trimmed();
        qsizetype end = 0;
        if (end < t.size() && (t[end] == QLatin1Char('-') || t[end] == QLatin1Char('+')))
            ++end;
        const qsizetype digitsFrom = end;
        while (end < t.size() && t[end].unicode() >= '0' && t[end].unicode() <= '9')
            ++end;
        bool ok = false;
        const qint64 value = t.left(end).toLongLong(&ok);
        return end > digitsFrom && ok && value >= -limit && value <= limit;
    };
    return millionths(record.latitude, 90'000'000) && millionths(record.longitude, 180'000'000);
}

/** An answer to work with: it arrived and the server did not report a failure by status. */
bool answered(const HttpResponse& response)
{
    return response.ok();
}

Waypoint* firstMatch(ObjectContext& context, const QString& format, const QVariantList& arguments)
{
    const auto predicate = Predicate::parse(format, arguments);
    if (!predicate)
        return nullptr;
    const QList<Waypoint*> found = context.fetch<Waypoint>(*predicate);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace

WaypointSync::WaypointSync(PersistentStore& store, HttpClient& http, QUrl baseUrl, QString settingsFile,
                           QObject* parent)
    : QObject(parent), m_store(store), m_http(http), m_baseUrl(std::move(baseUrl)),
      m_settingsFile(std::move(settingsFile)), m_identity(machineIdentity())
{
    m_worker.setMaxThreadCount(1);
}

WaypointSync::~WaypointSync()
{
    if (m_isUploadStarter)
        Waypoint::setUploadStarter({});
    m_worker.clear();
    waitForPasses(-1);
}

QUrl WaypointSync::baseUrlFromSettings()
{
    return QUrl(serviceBaseUrl(QLatin1String(waypointdb::settingsKey), waypointdb::envVar,
                               QLatin1String(waypointdb::defaultUrl)));
}

double WaypointSync::lastWaypointSync() const
{
    const auto settings = m_settingsFile.isEmpty()
                              ? std::make_unique<QSettings>()
                              : std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
    bool ok = false;
    const double value = settings->value(QLatin1String(waypointdb::lastSyncKey)).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

void WaypointSync::setLastWaypointSync(double seconds)
{
    const auto settings = m_settingsFile.isEmpty()
                              ? std::make_unique<QSettings>()
                              : std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
    settings->setValue(QLatin1String(waypointdb::lastSyncKey), seconds);
    settings->sync();
}

void WaypointSync::applyDownloadedRecord(ObjectContext& context, const WaypointData& record)
{
    // A shared record is somebody else's input: one without a place on the globe is left out,
    // rather than stored at 0,0 or beyond the poles.
    if (!isStorablePosition(record))
        return;
    Waypoint* target = firstMatch(context, QStringLiteral("(dbID == %@)"), {integerFrom(record.dbID)});
    if (!target) {
        target = firstMatch(context, QStringLiteral("(latitude == %@) AND (longitude == %@)"),
                            {integerFrom(record.latitude), integerFrom(record.longitude)});
    }
    if (!target)
        target = context.insert<Waypoint>();
    if (!target)
        return;
    target->initWithWaypointData(&record);
    (void)context.save();
}

bool WaypointSync::downloadWaypoints()
{
    QMutexLocker lock(&m_passLock);
    const double lastSync = std::trunc(lastWaypointSync());
    HttpRequest request =
        formRequest(serviceEndpoint(m_baseUrl, waypointdb::downloadPath), downloadBody(m_identity, lastSync));
    request.maxBodyBytes = waypointdb::maxDownloadBytes;
    const HttpResponse response = m_http.send(request);
    if (!answered(response)) {
        emit downloadFinished(false);
        return false;
    }
    auto context = m_store.newBackgroundContext();
    if (!context) {
        emit downloadFinished(false);
        return false;
    }
    ObjectContext& ctx = **context;
    const bool parsed = parseDownload(
        response.body, [&ctx](const WaypointData& record) { applyDownloadedRecord(ctx, record); });
    if (parsed)
        setLastWaypointSync(Waypoint::now());
    emit downloadFinished(parsed);
    return parsed;
}

int WaypointSync::uploadWaypoints()
{
    QMutexLocker lock(&m_passLock);
    int uploaded = 0;
    auto context = m_store.newBackgroundContext();
    if (!context) {
        emit uploadFinished(0);
        return 0;
    }
    ObjectContext& ctx = **context;
    const auto predicate =
        Predicate::parse(QStringLiteral("(syncOnline == %@) AND (syncStatus== %@)"), {qint64(1), qint64(0)});
    const QList<Waypoint*> waiting = predicate ? ctx.fetch<Waypoint>(*predicate) : QList<Waypoint*>();
    const QUrl url = serviceEndpoint(m_baseUrl, waypointdb::uploadPath);
    for (Waypoint* w : waiting) {
        const double sentVersion = w->lastModified();
        const HttpResponse response =
            m_http.send(formRequest(url, uploadBody(m_identity, w->urlStringForUpload())));
        if (!answered(response))
            break;
        const UploadAnswer answer = parseUploadAnswer(response.body);
        if (answer.kind != UploadAnswer::Kind::Assigned)
            continue;
        // The pilot may have edited the waypoint while it was on its way: a
        // fresh read tells. The database's identifier is kept either way, so
        // the next upload updates that record instead of adding another; but
        // only the version that was sent counts as uploaded, so an edit made
        // meanwhile stays waiting for the pass it started.
        auto fresh = m_store.newBackgroundContext();
        if (!fresh)
            break;
        auto* current = qobject_cast<Waypoint*>((*fresh)->existingObject(w->objectId()));
        if (!current)
            continue; // deleted meanwhile
        current->setDbID(answer.dbID);
        if (current->lastModified() == sentVersion)
            current->setSyncStatus(1);
        if ((*fresh)->save())
            ++uploaded;
    }
    emit uploadFinished(uploaded);
    return uploaded;
}

void WaypointSync::startUploadPass()
{
    m_worker.start([this] { uploadWaypoints(); });
}

void WaypointSync::startDownloadPass()
{
    m_worker.start([this] { downloadWaypoints(); });
}

void WaypointSync::startStartupPasses()
{
    startUploadPass();
    startDownloadPass();
}

bool WaypointSync::waitForPasses(int timeoutMs)
{
    // A pass that saves waits for the merge on the store's thread; when that
    // is this thread, its events must keep flowing while it waits.
    QDeadlineTimer deadline(timeoutMs);
    const bool mergesHere = m_store.thread() == QThread::currentThread();
    while (!m_worker.waitForDone(mergesHere ? 5 : int(std::min<qint64>(deadline.remainingTime(), 1000)))) {
        if (deadline.hasExpired())
            return false;
        if (mergesHere)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void WaypointSync::installAsUploadStarter()
{
    m_isUploadStarter = true;
    Waypoint::setUploadStarter([this] { startUploadPass(); });
}

} // namespace kalvora
