#include "waypoints/waypointimporter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "track/placefinder.h"
#include "waypoints/addresslookup.h"

namespace kalvora {
namespace {

qint64 microdegrees(double degrees)
{
    const double v = std::trunc(degrees * 1000000.0);
    return std::isfinite(v) && std::fabs(v) < 1e15 ? qint64(v) : 0;
}

/** Whole units of a received number, cut toward zero; nonsense (NaN, beyond any place on earth) gives 0. */
qint64 whole(double value)
{
    return std::isfinite(value) && std::fabs(value) < 1e15 ? qint64(value) : 0;
}

} // namespace

WaypointImporter::WaypointImporter(PersistentStore& store, std::vector<WaypointRecord> importList,
                                   DuplicateQuestion& question, WaypointAddressLookup* lookup,
                                   QObject* parent)
    : QObject(parent), m_store(store), m_importList(std::move(importList)), m_question(question),
      m_lookup(lookup)
{}

WaypointImporter::~WaypointImporter()
{
    if (m_thread) {
        stop();
        wait(-1);
    }
}

Waypoint* WaypointImporter::waypointIntersects(ObjectContext& context, qint64 latitudeMicro,
                                               qint64 longitudeMicro)
{
    // Only the waypoints in a box around the point are read (an index on the
    // coordinates finds them); the distance then decides. 3,000 microdegrees of
    // latitude are about 330 m, comfortably more than the duplicate distance.
    constexpr qint64 latitudeMargin = 3000;
    constexpr qint64 fullCircle = 360000000;
    Predicate box = Predicate::where(QStringLiteral("latitude"), Predicate::Op::GreaterOrEqual,
                                     latitudeMicro - latitudeMargin)
                        .andWhere(QStringLiteral("latitude"), Predicate::Op::LessOrEqual, latitudeMicro + latitudeMargin);
    // A degree of longitude shrinks toward the poles; the box widens with it. Near a
    // pole or across the date line the latitude band alone bounds the search.
    const double farthestLatitude =
        std::min(90.0, (double(std::llabs(latitudeMicro)) + double(latitudeMargin)) / 1000000.0);
    const double shrink = std::cos(farthestLatitude * M_PI / 180.0);
    if (shrink > 0.05) {
        const qint64 longitudeMargin = qint64(std::ceil(double(latitudeMargin) / shrink));
        if (longitudeMicro - longitudeMargin > -fullCircle / 2 && longitudeMicro + longitudeMargin < fullCircle / 2)
            box.andWhere(QStringLiteral("longitude"), Predicate::Op::GreaterOrEqual, longitudeMicro - longitudeMargin)
                .andWhere(QStringLiteral("longitude"), Predicate::Op::LessOrEqual, longitudeMicro + longitudeMargin);
    }
    Waypoint* nearest = nullptr;
    qint64 best = std::numeric_limits<qint64>::max();
    for (Waypoint* w : context.fetch<Waypoint>(box)) {
        const qint64 d = PlaceFinder::gpsDistance(double(latitudeMicro), double(longitudeMicro),
                                                  double(w->latitude()), double(w->longitude()));
        if (d < best) {
            best = d;
            nearest = w;
        }
    }
    return best <= DuplicateDistanceM ? nearest : nullptr;
}

void WaypointImporter::applyChoice(int choice)
{
    if (choice == DuplicateQuestion::KeepChoice || choice == DuplicateQuestion::KeepAlsoChoice)
        return;
    if (choice == DuplicateQuestion::SkipChoice) {
        --m_counter;
        m_importList.erase(m_importList.begin() + m_counter);
        return;
    }
    m_importList.clear();
    m_cancel = true;
}

bool WaypointImporter::checkDuplicates(ObjectContext& context)
{
    m_counter = 0;
    m_lastChoice = -1;
    m_cancel = false;
    checkSome(context, std::numeric_limits<int>::max());
    return !m_cancel;
}

void WaypointImporter::checkSome(ObjectContext& context, int count)
{
    for (int checked = 0; checked < count && !m_cancel && m_counter < int(m_importList.size()); ++checked) {
        const WaypointRecord& record = m_importList[size_t(m_counter)];
        Waypoint* existing =
            waypointIntersects(context, microdegrees(record.latitude), microdegrees(record.longitude));
        if (!existing) {
            ++m_counter;
            continue;
        }
        if (m_lastChoice != -1) {
            ++m_counter;
            applyChoice(m_lastChoice);
            continue;
        }
        const DuplicateQuestion::Answer answer = m_question.ask(record.shortName, existing->name());
        ++m_counter;
        if (answer.applyToAll)
            m_lastChoice = answer.choice;
        applyChoice(answer.choice);
    }
}

void WaypointImporter::import()
{
    m_counter = 0;
    m_lastChoice = -1;
    m_cancel = false;
    bool proceed = true;
    // A context per thousand records: the stored waypoints each check finds stay in
    // its context, and a large file of duplicates would otherwise hold them all.
    while (proceed && !m_cancel && m_counter < int(m_importList.size())) {
        auto context = m_store.newBackgroundContext();
        if (!context) {
            proceed = false;
            break;
        }
        (*context)->setUndoEnabled(false);
        checkSome(**context, 1000);
    }
    proceed = proceed && !m_cancel;
    if (!proceed || m_importList.empty() || m_thread) {
        emit finished({});
        return;
    }
    m_longTimeCanceled = false;
    m_thread.reset(QThread::create([this] { insertAll(); }));
    m_thread->start();
}

bool WaypointImporter::wait(int timeoutMs)
{
    if (!m_thread)
        return true;
    // The insertion's saves wait for their merge on the store's thread; keep its events flowing when that is
    // this one.
    const bool mergesHere = m_store.thread() == QThread::currentThread();
    QDeadlineTimer deadline(timeoutMs);
    while (!m_thread->wait(QDeadlineTimer(mergesHere ? 5 : timeoutMs))) {
        if (deadline.hasExpired())
            return false;
        if (mergesHere)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void WaypointImporter::insertAll()
{
    QList<ObjectId> inserted;
    const int total = int(m_importList.size());
    // Saved in batches, each in a context of its own that goes with its batch:
    // one transaction and one disk sync per record would make a large file take
    // hours, and one context for everything would hold every record in memory.
    // A slow run (addresses looked up on the network) still saves each record
    // within about a second.
    constexpr int batchSize = 500;
    constexpr qint64 batchMs = 1000;
    std::unique_ptr<ObjectContext> context;
    QList<Waypoint*> pending;
    QElapsedTimer sinceSave;
    sinceSave.start();
    auto save = [&] {
        if (!context || pending.isEmpty())
            return;
        // A failed save leaves the records pending in this context; the next save retries them.
        if (!context->save().ok())
            return;
        for (const Waypoint* w : std::as_const(pending))
            inserted.append(w->objectId());
        pending.clear();
        context.reset();
        sinceSave.restart();
    };
    int done = 0;
    for (const WaypointRecord& record : m_importList) {
        if (m_longTimeCanceled)
            break;
        emit progress(++done, total);
        if (!context) {
            auto opened = m_store.newBackgroundContext();
            if (!opened)
                break;
            context = std::move(opened).value();
            context->setUndoEnabled(false);
        }
        auto* w = context->insert<Waypoint>();
        if (!w)
            break;
        w->setName(record.shortName.trimmed());
        w->setShortName(record.shortName);
        w->setLatitude(microdegrees(record.latitude));
        w->setLongitude(microdegrees(record.longitude));
        w->setAltitude(whole(record.gpsaltitude));
        w->setRadius(whole(record.radius));
        if (m_lookup) {
            if (auto address = m_lookup->lookup(double(w->latitude()), double(w->longitude()))) {
                w->setCity(address->city);
                w->setCounty(address->county);
                w->setCountry(address->country);
                w->setState(address->state);
            }
        }
        pending.append(w);
        if (pending.size() >= batchSize || sinceSave.elapsed() >= batchMs)
            save();
    }
    save();
    // Whatever could not be saved goes with its context, on this thread.
    context.reset();
    QMetaObject::invokeMethod(
        this, [this, inserted] { emit finished(inserted); }, Qt::QueuedConnection);
}

} // namespace kalvora
