#include "logbook/xcqueue.h"

#include <QThreadPool>

#include "logbook/backgroundwork.h"
#include "logbook/flightrecord.h"
#include "model/flight.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "track/igcflight.h"
#include "track/igcscrore.h"

Q_DECLARE_METATYPE(std::shared_ptr<const kalvora::IGCFlight>)

namespace kalvora {

std::shared_ptr<const IGCFlight> scoreIGC(const QString& igcData, int glidertype)
{
    if (igcData.isEmpty())
        return nullptr;
    const QByteArray bytes = igcData.toLatin1();
    auto flight = IGCFlight::flightFromIGC(std::string_view(bytes.constData(), bytes.size()), glidertype, true);
    if (!flight)
        return nullptr;
    auto scored = std::make_shared<IGCFlight>(std::move(*flight));
    // A failed search (out of memory) is no result: the flight stays queued and
    // is tried again when its logbook next opens.
    if (!IGCScrore::calcFlightData(*scored))
        return nullptr;
    return scored;
}

std::unique_ptr<CalcXCDataOperation> CalcXCDataOperation::create(ObjectId flight, QString igcData, int glidertype,
                                                                 PersistentStore* document)
{
    if (!flight.isValid())
        return nullptr;
    return std::unique_ptr<CalcXCDataOperation>(
        new CalcXCDataOperation(std::move(flight), std::move(igcData), glidertype, document));
}

CalcXCDataOperation::CalcXCDataOperation(ObjectId flight, QString igcData, int glidertype, PersistentStore* document)
    : m_flight(std::move(flight)), m_igcData(std::move(igcData)), m_glidertype(glidertype), m_document(document)
{
}

std::unique_ptr<CalcXCDataOperation> CalcXCDataOperation::createReadingStore(ObjectId flight, int glidertype,
                                                                             PersistentStore* document)
{
    if (!flight.isValid() || flight.isTemporary() || !document)
        return nullptr;
    auto operation = std::unique_ptr<CalcXCDataOperation>(
        new CalcXCDataOperation(std::move(flight), QString(), glidertype, document));
    operation->m_readsStore = true;
    return operation;
}

void CalcXCDataOperation::main()
{
    if (m_readsStore) {
        // A context of this thread's own: the main context belongs to the GUI thread.
        auto context = m_document->newBackgroundContext();
        if (!context)
            return;
        auto* flight = qobject_cast<Flight*>((*context)->existingObject(m_flight));
        if (!flight || flight->isDeleted())
            return;
        m_igcData = flight->igcData();
    }
    std::shared_ptr<const IGCFlight> scored = scoreIGC(m_igcData, m_glidertype);
    if (!scored)
        return;
    NotificationCenter::instance().post(QString::fromLatin1(notifications::CalcXCDataFinished), nullptr,
                                        {{QStringLiteral("Flight"), QVariant::fromValue(m_flight)},
                                         {QStringLiteral("IGCFlight"), QVariant::fromValue(scored)},
                                         {QStringLiteral("Document"), QVariant::fromValue<QObject*>(m_document)}});
}

XCQueue::XCQueue(PersistentStore& logbook, QObject* parent)
    : QObject(parent), m_logbook(logbook), m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(1);
    // The scorer is slow on long tracks; idle queues should not keep a thread.
    m_pool->setExpiryTimeout(30000);
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this, &XCQueue::onNotification);
}

XCQueue::~XCQueue()
{
    m_pool->clear();
    m_pool->waitForDone();
}

void XCQueue::startCalcXCOperation(Flight* flight)
{
    if (!flight || flight->isDeleted())
        return;
    startCalcXCOperation(flight, flight->igcData());
}

void XCQueue::startCalcXCOperation(Flight* flight, const QString& igcData)
{
    if (!flight || flight->isDeleted())
        return;
    // A flight without IGC record has nothing to score; marked, it would read "calc" for ever.
    if (igcData.isEmpty())
        return;
    const ObjectId id = flight->objectId();
    auto operation = CalcXCDataOperation::create(id, igcData, static_cast<int>(flight->glidertype()), &m_logbook);
    if (!operation)
        return;
    markBeingComputed(*flight);
    ++m_pending[id];
    m_pool->start([this, id, op = std::shared_ptr<CalcXCDataOperation>(std::move(operation))] {
        yieldToInteractiveWork();
        op->main();
        // Queued behind the notification the operation may just have posted, so
        // the result is stored before the queue reports the computation ended.
        QMetaObject::invokeMethod(this, [this, id] { operationEnded(id); }, Qt::QueuedConnection);
    });
}

void XCQueue::startCalcXCOperationFromStore(Flight* flight)
{
    if (!flight || flight->isDeleted())
        return;
    const ObjectId id = flight->objectId();
    auto operation = CalcXCDataOperation::createReadingStore(id, static_cast<int>(flight->glidertype()), &m_logbook);
    if (!operation)
        return;
    markBeingComputed(*flight);
    ++m_pending[id];
    m_pool->start([this, id, op = std::shared_ptr<CalcXCDataOperation>(std::move(operation))] {
        yieldToInteractiveWork();
        op->main();
        QMetaObject::invokeMethod(this, [this, id] { operationEnded(id); }, Qt::QueuedConnection);
    });
}

int XCQueue::requeueUnscored()
{
    const QList<Flight*> flights = m_logbook.mainContext()->fetch<Flight>(
        Predicate::where(QStringLiteral("freeDistance"), Predicate::Op::Less, 0.0),
        {SortDescriptor{QStringLiteral("startUTC")}});
    for (Flight* flight : flights)
        startCalcXCOperation(flight);
    return static_cast<int>(flights.size());
}

void XCQueue::onNotification(const QString& name, QObject*, const QVariantMap& userInfo)
{
    if (name != QLatin1String(notifications::CalcXCDataFinished))
        return;
    if (userInfo.value(QStringLiteral("Document")).value<QObject*>() != &m_logbook)
        return;
    const auto scored = userInfo.value(QStringLiteral("IGCFlight")).value<std::shared_ptr<const IGCFlight>>();
    const auto id = userInfo.value(QStringLiteral("Flight")).value<ObjectId>();
    auto* flight = qobject_cast<Flight*>(m_logbook.mainContext()->existingObject(id));
    // A flight deleted while it was being scored drops its result.
    if (!scored || !flight || flight->isDeleted())
        return;
    const XCData data = xcData(*scored);
    flight->setXCData(&data);
    if (const auto saved = m_logbook.mainContext()->save(); !saved) {
        // The score is not in the file: the flight must not show it, and a
        // later save of another change must not write it half. It keeps the
        // mark the file has, so the next opening computes it again.
        XCData pending;
        pending.freeDistance = -2;
        pending.flatDistance = -1;
        pending.faiDistance = -1;
        flight->setXCData(&pending);
        m_notSaved.insert(id, QString::fromStdString(saved.error()));
        return;
    }
    m_scored.insert(id);
}

void XCQueue::operationEnded(const ObjectId& flight)
{
    if (m_scored.remove(flight)) {
        emit flightScored(flight);
    } else {
        if (const auto notSaved = m_notSaved.constFind(flight); notSaved != m_notSaved.cend()) {
            const QString reason = notSaved.value();
            m_notSaved.erase(notSaved);
            emit scoreNotSaved(flight, reason);
        }
        emit flightNotScored(flight);
    }
    auto it = m_pending.find(flight);
    if (it != m_pending.end() && --it.value() <= 0)
        m_pending.erase(it);
    if (m_pending.isEmpty())
        emit idle();
}

} // namespace kalvora
