#include "ui/waypoints/waypointfileimport.h"

#include <QCoreApplication>
#include <QThread>
#include <QWidget>

#include "store/persistentstore.h"
#include "ui/longtimesheet.h"
#include "ui/waypoints/waypointduplicatesheet.h"
#include "waypoints/waypointfile.h"

namespace kalvora {

WaypointFileImport::WaypointFileImport(QWidget* window, PersistentStore& store, WaypointAddressLookup* lookup,
                                       QObject* parent)
    : QObject(parent), m_window(window), m_store(store), m_lookup(lookup)
{
    qRegisterMetaType<QList<ObjectId>>();
    m_sheet = new WaypointDuplicateSheet(window);
    connect(m_sheet, &WaypointDuplicateSheet::answered, this, &WaypointFileImport::answer);
    m_progress = new LongTimeSheet(window);
    connect(m_progress, &LongTimeSheet::canceled, this, &WaypointFileImport::stopInsertion);
}

WaypointFileImport::~WaypointFileImport()
{
    {
        QMutexLocker lock(&m_mutex);
        m_closing = true;
        m_answered.wakeAll();
        if (m_importer)
            m_importer->stop();
    }
    joinWorker();
    // Waits for the insertion, which stops after the waypoint in hand.
    m_importer.reset();
}

void WaypointFileImport::joinWorker()
{
    if (m_worker) {
        m_worker->wait();
        m_worker.reset();
    }
}

void WaypointFileImport::stopInsertion()
{
    QMutexLocker lock(&m_mutex);
    if (m_importer)
        m_importer->stop();
}

bool WaypointFileImport::start(const QStringList& paths)
{
    if (paths.isEmpty())
        return false;
    return startRun([this, paths] {
        std::vector<WaypointRecord> records;
        // A file that cannot be read, or is of no known format, adds nothing; the user is told which.
        QStringList problems;
        for (const QString& path : paths) {
            auto reading = readWaypointFile(path);
            if (!reading) {
                problems << QString::fromStdString(reading.error());
                continue;
            }
            if (reading->skipped > 0 || reading->routePointsNotRead > 0)
                problems << waypointReadingSummary(path, *reading);
            for (WaypointRecord& r : reading->waypoints)
                records.push_back(std::move(r));
        }
        if (!problems.isEmpty())
            QMetaObject::invokeMethod(
                this, [this, problems] { emit filesNotFullyRead(problems); }, Qt::QueuedConnection);
        return records;
    });
}

bool WaypointFileImport::startRecords(std::vector<WaypointRecord> records)
{
    if (records.empty())
        return false;
    return startRun([records = std::move(records)] { return records; });
}

bool WaypointFileImport::startRun(std::function<std::vector<WaypointRecord>()> read)
{
    if (m_running)
        return false;
    m_running = true;
    joinWorker();
    {
        QMutexLocker lock(&m_mutex);
        m_importer.reset();
        m_answer.reset();
    }
    QThread* gui = thread();
    m_worker.reset(QThread::create([this, read = std::move(read), gui] {
        std::vector<WaypointRecord> records = read();
        // Made here with the records, then handed to the GUI thread, where its signals are delivered.
        DuplicateQuestion& question = *this;
        auto importer = std::make_unique<WaypointImporter>(m_store, std::move(records), question, m_lookup);
        connect(importer.get(), &WaypointImporter::progress, this, &WaypointFileImport::progressed);
        connect(importer.get(), &WaypointImporter::finished, this, &WaypointFileImport::runFinished);
        importer->moveToThread(gui);
        WaypointImporter* run = importer.get();
        {
            QMutexLocker lock(&m_mutex);
            if (m_closing)
                return;
            m_importer = std::move(importer);
        }
        // The duplicate check runs here, asking through ask(); the insertion gets a thread of its own.
        run->import();
    }));
    m_worker->start();
    return true;
}

DuplicateQuestion::Answer WaypointFileImport::ask(const QString& newName, const QString& existingName)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_closing)
            return {CancelChoice, true};
        m_answer.reset();
    }
    QMetaObject::invokeMethod(
        this, [this, newName, existingName] { m_sheet->ask(newName, existingName); }, Qt::QueuedConnection);
    QMutexLocker lock(&m_mutex);
    while (!m_answer && !m_closing)
        m_answered.wait(&m_mutex);
    return m_answer.value_or(Answer{CancelChoice, true});
}

void WaypointFileImport::answer(int tag, bool applyToAll)
{
    QMutexLocker lock(&m_mutex);
    m_answer = Answer{tag, applyToAll};
    m_answered.wakeAll();
}

void WaypointFileImport::progressed(int done, int total)
{
    if (!m_progress->isVisible() && done <= 1)
        m_progress->begin(tr("Importing Waypoint(s)..."), total);
    m_progress->setProgress(done);
}

void WaypointFileImport::runFinished(const QList<ObjectId>& inserted)
{
    m_progress->end();
    m_running = false;
    emit finished(inserted);
}

} // namespace kalvora
