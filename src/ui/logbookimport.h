#pragma once

#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QStringList>

#include "logbook/flightimporter.h"

namespace kalvora {

class FlightIntersectSheet;
class ImportFolderSheet;
class LogBookWindowController;
class LongTimeSheet;
class PersistentStore;
class XCQueue;

/**
 * The logbook window's import: the file chooser, the overlap sheet
 * "FlightIntersect", the progress sheet "LongTimeSheet", one alert naming the
 * files of a run that yield no flight, the question before a recomputation, and the selection of the new flights. The work itself
 * (reading, analysis, scoring) runs in the importer's and the XC queue's
 * threads; this class only answers and shows. GUI thread.
 */
class LogBookImport final : public QObject, private OverlapQuestion
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogBookImport)

public:
    /** @p window owns this object; @p services' pointers must outlive it. */
    LogBookImport(LogBookWindowController* window, PersistentStore& logbook, ImportServices services);
    ~LogBookImport() override;

    /** The file chooser "Import IGC file(s)"; the chosen files are imported. */
    void getIGCFlight();
    /** The folder chooser "Import IGC Folder"; the chosen folder is imported (importFolder()). */
    void getIGCFolder();
    /**
     * Looks for the recordings in @p folder and its sub-folders, shows how
     * many there are (ImportFolderSheet) and imports them when the user
     * agrees. False while another import runs.
     */
    bool importFolder(const QString& folder);
    /** Imports @p paths (IGC files) into the logbook; false while another import runs. */
    bool checkIntersectFlightsWithIGC(const QStringList& paths);
    /** Recomputes every selected flight from its IGC record. */
    void recalcFlight();
    /** Marks the flights as being computed and queues their XC computations. */
    void startCalcXCOperations(const QList<Flight*>& flights);

    [[nodiscard]] FlightImporter& importer() { return *m_importer; }
    [[nodiscard]] XCQueue& calcXCDataQueue() { return *m_queue; }
    [[nodiscard]] FlightIntersectSheet* intersectSheet() const;
    [[nodiscard]] LongTimeSheet* longTimeSheet() const;
    [[nodiscard]] ImportFolderSheet* folderSheet() const { return m_folderSheet; }

signals:
    /** An import run ended (after the selection was made). */
    void importFinished(const kalvora::ImportSummary& summary);
    /** Files of a run could not become flights; the one alert naming them was shown. */
    void failuresShown(const QList<kalvora::ImportFileFailure>& failures);

private:
    void ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply) override;
    void showFileFailures(const QList<ImportFileFailure>& failures, const QStringList& placesMissing);
    void showPlacesMissing(const QStringList& paths);
    static QString placesMissingText(const QStringList& paths);
    void showUnsavedScores();
    /** How many files of the run were recordings the logbook already holds. */
    static QString duplicatesText(const ImportSummary& summary);
    void showDuplicates(const ImportSummary& summary);
    void runFinished(const ImportSummary& summary);
    void folderScanned(const QString& folder, const QStringList& files);
    /** "120 of 2000 files, about 4 minutes left" under the bar. */
    void showProgressDetail(int done);
    /** Redraws the flight list soon, once for many inserted flights. */
    void refreshListSoon();

    LogBookWindowController* m_window;
    std::unique_ptr<XCQueue> m_queue;
    int m_unsavedScores = 0;
    QString m_unsavedReason;
    std::unique_ptr<FlightImporter> m_importer;
    FlightIntersectSheet* m_intersect = nullptr;
    LongTimeSheet* m_progress = nullptr;
    ImportFolderSheet* m_folderSheet = nullptr;
    QStringList m_folderFiles;
    std::shared_ptr<std::atomic<bool>> m_scanCancel;
    bool m_scanning = false;
    QElapsedTimer m_progressClock;
    int m_progressTotal = 0;
    bool m_refreshPending = false;
    std::function<void(OverlapAnswer)> m_pendingReply;
};

} // namespace kalvora
