#pragma once

#include <QHash>
#include <QSet>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

#include "store/objectid.h"

class QThreadPool;

namespace kalvora {

class PersistentStore;
class Flight;
struct IGCFlight;

/**
 * The background XC computation of one flight: analyses a copy of the
 * flight's IGC text, scores it and posts "KalvoraCalcXCDataFinished" with the
 * user info "Flight" (the flight's ObjectId), "IGCFlight" (a
 * std::shared_ptr<const IGCFlight>) and "Document" (the logbook's
 * PersistentStore*). An analysis that yields nothing posts nothing.
 */
class CalcXCDataOperation
{
public:
    /** nullptr when FLIGHT is not a valid identifier. */
    [[nodiscard]] static std::unique_ptr<CalcXCDataOperation> create(ObjectId flight, QString igcData, int glidertype,
                                                                     PersistentStore* document);
    /** Reads the IGC text from DOCUMENT when the operation runs instead of carrying it. */
    [[nodiscard]] static std::unique_ptr<CalcXCDataOperation> createReadingStore(ObjectId flight, int glidertype,
                                                                                 PersistentStore* document);
    /** Runs on the queue's thread. */
    void main();

private:
    CalcXCDataOperation(ObjectId flight, QString igcData, int glidertype, PersistentStore* document);
    ObjectId m_flight;
    QString m_igcData;
    int m_glidertype = 0;
    PersistentStore* m_document = nullptr;
    bool m_readsStore = false;
};

/**
 * Analyses and scores a flight's IGC text, as the XC queue does.
 * @return the scored flight; nullptr when the analysis yields nothing or the
 *         scoring fails. Any thread.
 */
[[nodiscard]] std::shared_ptr<const IGCFlight> scoreIGC(const QString& igcData, int glidertype);

/**
 * The serial XC queue of one logbook: at most one computation at a time, off
 * the GUI thread; each result is stored with setXCData on the thread that owns
 * this queue (the one owning the logbook's main context). Create, use and
 * destroy it on that thread; destruction drops what is still queued and waits
 * for the running computation.
 */
class XCQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(XCQueue)

public:
    /** LOGBOOK must outlive the queue. */
    explicit XCQueue(PersistentStore& logbook, QObject* parent = nullptr);
    ~XCQueue() override;

    /**
     * Marks FLIGHT as being computed (freeDistance -2, the two triangles -1)
     * and queues its computation with copies of its IGC text and glider type.
     */
    void startCalcXCOperation(Flight* flight);
    /**
     * The same with the flight's IGC text at hand (IGCDATA, equal to the
     * stored one), which spares reading megabytes back from the file on this
     * thread.
     */
    void startCalcXCOperation(Flight* flight, const QString& igcData);
    /**
     * The same for a flight whose record is saved in the logbook file: the
     * computation reads it from there on the queue's thread when its turn
     * comes, so that a long queue holds no texts and this thread reads none.
     */
    void startCalcXCOperationFromStore(Flight* flight);

    /**
     * Queues again every flight of the logbook whose freeDistance is below 0
     * (an interrupted or never started computation). Run when the logbook opens.
     * @return how many were queued.
     */
    int requeueUnscored();

    /** Computations queued or running. */
    int pendingCount() const { return m_pending.size(); }
    bool isIdle() const { return m_pending.isEmpty(); }

signals:
    /** A result was stored in FLIGHT and the logbook saved. */
    void flightScored(const kalvora::ObjectId& flight);
    /** The computation of FLIGHT ended without a result (analysis yielded nothing, or the flight is gone). */
    void flightNotScored(const kalvora::ObjectId& flight);
    /**
     * FLIGHT was scored but the logbook could not be written (REASON, for the
     * user): it stays marked as being computed, so the next opening queues it
     * again. Emitted just before flightNotScored() for the same flight.
     */
    void scoreNotSaved(const kalvora::ObjectId& flight, const QString& reason);
    /** Nothing is queued or running any more. */
    void idle();

private:
    void onNotification(const QString& name, QObject* object, const QVariantMap& userInfo);
    void operationEnded(const ObjectId& flight);

    PersistentStore& m_logbook;
    std::unique_ptr<QThreadPool> m_pool;
    QHash<ObjectId, int> m_pending; // flight -> computations queued or running
    QSet<ObjectId> m_scored;        // results stored, not yet reported
    QHash<ObjectId, QString> m_notSaved; // results that could not be written, not yet reported
};

} // namespace kalvora
