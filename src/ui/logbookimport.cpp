#include "ui/logbookimport.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include "logbook/igcfolder.h"
#include "logbook/remainingtime.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "ui/flightintersectsheet.h"
#include "ui/flightlistmodel.h"
#include "ui/importfoldersheet.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/longtimesheet.h"
#include "ui/windowinteraction.h"

namespace kalvora {

LogBookImport::LogBookImport(LogBookWindowController* window, PersistentStore& logbook, ImportServices services)
    : QObject(window), m_window(window)
{
    m_queue = std::make_unique<XCQueue>(logbook);
    m_importer = std::make_unique<FlightImporter>(logbook, *m_queue, static_cast<OverlapQuestion&>(*this), services);
    m_intersect = new FlightIntersectSheet(window);
    m_progress = new LongTimeSheet(window);
    m_folderSheet = new ImportFolderSheet(window);
    connect(m_folderSheet, &ImportFolderSheet::importChosen, this, [this] {
        checkIntersectFlightsWithIGC(std::exchange(m_folderFiles, {}));
    });
    connect(m_folderSheet, &QDialog::rejected, this, [this] { m_folderFiles.clear(); });

    connect(m_intersect, &FlightIntersectSheet::answered, this, [this](int tag, bool applyToAll) {
        if (auto reply = std::exchange(m_pendingReply, nullptr))
            reply({overlapChoiceFromTag(tag), applyToAll});
    });
    connect(m_progress, &LongTimeSheet::canceled, this, [this] {
        if (m_scanCancel)
            m_scanCancel->store(true);
        m_importer->cancel();
    });

    // Reading thousands of files takes a while before the first question can come.
    connect(m_importer.get(), &FlightImporter::readingStarted, this, [this](int total) {
        if (total < 2)
            return;
        m_progress->begin(tr("Reading IGC files..."), total);
        m_progressClock.start();
        m_progressTotal = total;
        showProgressDetail(0);
    });
    connect(m_importer.get(), &FlightImporter::readingChanged, this, [this](int done) {
        if (!m_progress->isVisible())
            return;
        m_progress->setProgress(done);
        showProgressDetail(done);
    });
    connect(m_importer.get(), &FlightImporter::readingFinished, m_progress, &LongTimeSheet::end);
    connect(m_importer.get(), &FlightImporter::progressStarted, this, [this](const QString& title, int maximum) {
        // Flights are scored as they come in; each score would re-sort the whole list.
        if (maximum > 1)
            m_window->setListSortingDeferred(true);
        m_progress->begin(title, maximum);
        m_progressClock.start();
        m_progressTotal = maximum;
        if (maximum > 1)
            showProgressDetail(0);
    });
    connect(m_importer.get(), &FlightImporter::progressChanged, this, [this](int done) {
        m_progress->setProgress(done);
        if (m_progressTotal > 1)
            showProgressDetail(done);
    });
    connect(m_importer.get(), &FlightImporter::progressFinished, m_progress, &LongTimeSheet::end);
    connect(m_importer.get(), &FlightImporter::flightInserted, this, &LogBookImport::refreshListSoon);
    connect(m_importer.get(), &FlightImporter::finished, this, &LogBookImport::runFinished);
    connect(m_importer.get(), &FlightImporter::recalcFinished, this, [this] { m_window->flightModel()->reformat(); });
    // Counted at once, not queued: the queue's idle notice follows right behind and must see every failure.
    connect(m_queue.get(), &XCQueue::scoreNotSaved, this, [this](const ObjectId&, const QString& reason) {
        // A full disk fails every flight of a run alike: one alert, after the last of them.
        m_unsavedReason = reason;
        if (m_unsavedScores++ == 0)
            QTimer::singleShot(0, this, &LogBookImport::showUnsavedScores);
    });
    connect(m_queue.get(), &XCQueue::idle, this, [this] {
        if (!m_importer->isRunning())
            m_window->setListSortingDeferred(false);
        if (m_unsavedScores > 0)
            QTimer::singleShot(0, this, &LogBookImport::showUnsavedScores);
    });
}

void LogBookImport::showUnsavedScores()
{
    // Flights are scored while later ones are still imported: the alert waits for the last of them.
    if (m_importer->isRunning() || !m_queue->isIdle())
        return;
    const int count = std::exchange(m_unsavedScores, 0);
    if (count == 0)
        return;
    if (const auto& interaction = m_window->interaction())
        interaction->showAlert(m_window, tr("%n score(s) could not be saved", nullptr, count),
                               tr("The flights keep \"calc\" and are scored again the next time this logbook "
                                  "opens.\n%1")
                                   .arg(m_unsavedReason));
}

LogBookImport::~LogBookImport()
{
    // The importer first: it may still hand work to the queue while it stops.
    m_importer.reset();
    m_queue.reset();
}

FlightIntersectSheet* LogBookImport::intersectSheet() const
{
    return m_intersect;
}

LongTimeSheet* LogBookImport::longTimeSheet() const
{
    return m_progress;
}

void LogBookImport::getIGCFlight()
{
    auto* dialog = new QFileDialog(m_window, tr("Import IGC file(s)"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilter(tr("IGC files (*.igc *.IGC)"));
    dialog->setOption(QFileDialog::ReadOnly);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        if (!files.isEmpty())
            checkIntersectFlightsWithIGC(files);
    });
    dialog->open();
}

void LogBookImport::getIGCFolder()
{
    auto* dialog = new QFileDialog(m_window, tr("Import IGC Folder"));
    dialog->setObjectName(QStringLiteral("chooseFolder"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setOption(QFileDialog::ReadOnly);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (!folder.isEmpty())
            importFolder(folder);
    });
    dialog->open();
}

bool LogBookImport::importFolder(const QString& folder)
{
    if (m_scanning || m_importer->isRunning())
        return false;
    m_scanning = true;
    m_scanCancel = std::make_shared<std::atomic<bool>>(false);
    m_progress->beginIndeterminate(tr("Looking for IGC files..."));
    m_progress->setDetail(QDir::toNativeSeparators(folder));
    // A tree of ten years of flights on a slow disk takes a while to walk.
    QPointer<LogBookImport> self(this);
    QThreadPool::globalInstance()->start([self, folder, cancel = m_scanCancel] {
        QStringList files = igcFilesInFolder(folder, cancel.get());
        if (cancel->load())
            files.clear();
        QMetaObject::invokeMethod(
            self.data(),
            [self, folder, files, cancel] {
                if (self)
                    self->folderScanned(folder, cancel->load() ? QStringList() : files);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void LogBookImport::folderScanned(const QString& folder, const QStringList& files)
{
    const bool cancelled = m_scanCancel && m_scanCancel->load();
    m_scanning = false;
    m_scanCancel.reset();
    m_progress->end();
    if (cancelled)
        return;
    m_folderFiles = files;
    m_folderSheet->ask(folder, int(files.size()));
}

void LogBookImport::showProgressDetail(int done)
{
    m_progress->setDetail(tr("%1 of %2 files, %3")
                              .arg(done)
                              .arg(m_progressTotal)
                              .arg(remainingTimeText(m_progressClock.elapsed(), done, m_progressTotal)));
}

void LogBookImport::refreshListSoon()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(250, this, [this] {
        m_refreshPending = false;
        m_window->flightModel()->refresh();
    });
}

bool LogBookImport::checkIntersectFlightsWithIGC(const QStringList& paths)
{
    return m_importer->start(paths);
}

void LogBookImport::recalcFlight()
{
    const QList<Flight*> selected = m_window->selectedFlights();
    if (selected.isEmpty())
        return;
    const auto& interaction = m_window->interaction();
    if (!interaction) {
        m_importer->recalcFlights(selected);
        return;
    }
    // Recomputing replaces what the pilot may have set by hand: asked first, never silently.
    QList<QPointer<Flight>> asked(selected.cbegin(), selected.cend());
    interaction->askRecalculate(m_window, int(selected.size()), [this, asked, self = QPointer(this)](bool go) {
        if (!self || !go)
            return;
        QList<Flight*> flights;
        for (const QPointer<Flight>& flight : asked)
            if (flight && !flight->isDeleted())
                flights << flight.data();
        if (!flights.isEmpty())
            m_importer->recalcFlights(flights);
    });
}

void LogBookImport::startCalcXCOperations(const QList<Flight*>& flights)
{
    for (Flight* flight : flights)
        m_queue->startCalcXCOperation(flight);
}

void LogBookImport::ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply)
{
    m_pendingReply = std::move(reply);
    // The old flight as the list shows it ("Invalid" beyond a day), the file by its first and last fix.
    ObjectContext* context = m_window->managedObjectContext();
    const auto* flight = qobject_cast<const Flight*>(context ? context->existingObject(conflict.flight) : nullptr);
    const QString oldFlightTime = flight ? flight->flightTimeString()
                                         : durationString(conflict.flightStartUTC.secsTo(conflict.flightLandingUTC));
    m_intersect->ask(QFileInfo(conflict.path).fileName(), conflict.fileStartUTC, durationString(conflict.fileFlightTimeS), conflict.flightStartUTC,
                     oldFlightTime);
}

void LogBookImport::showFileFailures(const QList<ImportFileFailure>& failures, const QStringList& placesMissing)
{
    // One alert for the run, naming each file and why, rather than one box per file.
    QList<FileFailure> lines;
    for (const ImportFileFailure& failure : failures)
        lines << FileFailure{failure.path, failure.reason};
    const QString message = failures.size() == 1 ? tr("Error importing IGC file")
                                                 : tr("%n files could not be imported", nullptr, int(failures.size()));
    if (const auto& interaction = m_window->interaction())
        interaction->showAlert(m_window, message,
                               placesMissing.isEmpty()
                                   ? describeFailures(lines)
                                   : describeFailures(lines) + QStringLiteral("\n\n") + placesMissingText(placesMissing));
    emit failuresShown(failures);
}

QString LogBookImport::placesMissingText(const QStringList& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names << QFileInfo(path).fileName();
    return tr("The place finder did not answer, so these flights have no take-off or landing place:\n%1")
        .arg(names.join(QLatin1Char('\n')));
}

void LogBookImport::showPlacesMissing(const QStringList& paths)
{
    // The place finder gave up during the run; the flights are there, only their places are empty.
    if (const auto& interaction = m_window->interaction())
        interaction->showAlert(m_window, tr("%n flight(s) imported without places", nullptr, int(paths.size())),
                               placesMissingText(paths));
}

QString LogBookImport::duplicatesText(const ImportSummary& summary)
{
    const auto count = summary.duplicates.size();
    return count == 1 ? tr("1 recording was already in the logbook and was skipped.")
                      : tr("%1 recordings were already in the logbook and were skipped.").arg(count);
}

void LogBookImport::showDuplicates(const ImportSummary& summary)
{
    const auto imported = summary.imported.size();
    if (const auto& interaction = m_window->interaction())
        interaction->showAlert(m_window,
                               imported == 1 ? tr("1 flight imported") : tr("%1 flights imported").arg(imported),
                               duplicatesText(summary));
}

void LogBookImport::runFinished(const ImportSummary& summary)
{
    m_progress->end();
    // One alert for the run: the files that gave no flight, and the flights the place finder could not name.
    if (!summary.failed.isEmpty())
        showFileFailures(summary.failed, summary.placesMissing);
    else if (!summary.placesMissing.isEmpty())
        showPlacesMissing(summary.placesMissing);
    else if (!summary.duplicates.isEmpty())
        showDuplicates(summary);
    if (m_unsavedScores > 0)
        QTimer::singleShot(0, this, &LogBookImport::showUnsavedScores);
    if (m_queue->isIdle())
        m_window->setListSortingDeferred(false);
    m_window->flightModel()->refresh();
    m_window->sortFlights(m_window->sortType());
    if (!summary.cancelled) {
        QList<Flight*> flights;
        ObjectContext* context = m_window->managedObjectContext();
        for (const ObjectId& id : summary.newFlights) {
            if (auto* flight = qobject_cast<Flight*>(context ? context->existingObject(id) : nullptr))
                flights << flight;
        }
        if (!flights.isEmpty())
            m_window->selectFlights(flights);
    }
    emit importFinished(summary);
}

} // namespace kalvora
