#pragma once

#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include "logbook/flightimporter.h"
#include "store/persistentstore.h"
#include "track/result.h"

class QTimer;

namespace kalvora {

class LogBookWindowController;
class ObjectContext;
class PilotWindowController;

/**
 * A logbook document: one store file, its main context, its logbook window and,
 * while it has one, its pilot window. It saves itself in place: every change of
 * the main context reaches the file within about a second, and at closing.
 * Creation and destruction post "KalvoraDocCountChanged". GUI thread.
 */
class LogBook final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogBook)

public:
    /** How soon a change is written to the file [ms]. */
    static constexpr int kAutosaveDelayMs = 500;

    /** Opens an existing logbook file (MustExist) or creates one (CreateIfMissing). */
    [[nodiscard]] static Result<std::unique_ptr<LogBook>> open(const QString& path, PersistentStore::OpenMode mode);
    /** Opens with the store's options; PROBLEM tells a damaged or read-only file from others. */
    [[nodiscard]] static Result<std::unique_ptr<LogBook>> open(const QString& path,
                                                               const PersistentStore::OpenOptions& options,
                                                               PersistentStore::OpenProblem* problem = nullptr);
    ~LogBook() override;

    [[nodiscard]] QString filePath() const;
    /** The file name without folder and extension, for window titles. */
    [[nodiscard]] QString displayName() const;
    [[nodiscard]] PersistentStore& store() const { return *m_store; }
    /** Opened read-only (a read-only file or folder, or a damaged file looked into): never written. */
    [[nodiscard]] bool isReadOnly() const { return m_store->isReadOnly(); }
    [[nodiscard]] ObjectContext* managedObjectContext() const;

    /**
     * Creates the windows: a Pilot record and the pilot window when the logbook
     * has no pilot yet, and the logbook window. @p noRecentDocument: the
     * application started without a recent logbook (the logbook window then asks
     * for the pilot window).
     */
    void makeWindowControllers(bool noRecentDocument);
    [[nodiscard]] LogBookWindowController* controller() const;
    [[nodiscard]] PilotWindowController* pilotWindowController() const;

    void openPilotWindow();
    void openFlightsWindow();
    /** What the logbook window's import may use; set before makeWindowControllers(). */
    void setImportServices(const ImportServices& services) { m_importServices = services; }

    /** The flights of the logbook (saved or not). */
    [[nodiscard]] qint64 flightCount() const;

    /** Writes pending changes now. */
    Result<Done> save();
    /** Saves and closes the windows; the document emits closed() and may then be destroyed. */
    void close();
    [[nodiscard]] bool isClosed() const { return m_closed; }

signals:
    void closed(kalvora::LogBook* document);
    /** An automatic save failed; the changes stay pending and are tried again. */
    void saveFailed(const QString& message);
    /** The first read of the file that failed (a damaged page): what is shown may be incomplete. */
    void readFailed(const QString& message);
    /** One of this document's windows became active. */
    void activated(kalvora::LogBook* document);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit LogBook(std::unique_ptr<PersistentStore> store);
    void autosave();
    void showWindow(QWidget* window);
    void createPilotWindow();

    std::unique_ptr<PersistentStore> m_store;
    QPointer<LogBookWindowController> m_controller;
    QPointer<PilotWindowController> m_pilotWindowController;
    QTimer* m_autosaveTimer = nullptr;
    QString m_lastSaveError;
    ImportServices m_importServices;
    bool m_closed = false;
    bool m_readFailureTold = false;
};

} // namespace kalvora
