#include "app/logbook.h"

#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include "model/flight.h"
#include "model/pilot.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/pilotwindowcontroller.h"
#include "ui/windowplacement.h"

namespace kalvora {

namespace {

void postDocCountChanged()
{
    NotificationCenter::instance().post(QString::fromLatin1(notifications::DocCountChanged));
}

} // namespace

Result<std::unique_ptr<LogBook>> LogBook::open(const QString& path, PersistentStore::OpenMode mode)
{
    // A logbook the user may not change (a read-only file or folder) is still shown.
    return open(path, {mode, PersistentStore::Access::AsAllowed, true});
}

Result<std::unique_ptr<LogBook>> LogBook::open(const QString& path, const PersistentStore::OpenOptions& options,
                                               PersistentStore::OpenProblem* problem)
{
    auto store = PersistentStore::open(path, ObjectModel::logBook(), options, problem);
    if (!store)
        return Error{store.error()};
    if (!store.value()->mainContext())
        return Result<std::unique_ptr<LogBook>>::failure("The logbook could not be opened.");
    return std::unique_ptr<LogBook>(new LogBook(std::move(store).value()));
}

LogBook::LogBook(std::unique_ptr<PersistentStore> store) : m_store(std::move(store))
{
    // Polled rather than signalled: the context reports no "changed" event, and a
    // check of three lists twice a second costs nothing.
    m_autosaveTimer = new QTimer(this);
    m_autosaveTimer->setInterval(kAutosaveDelayMs);
    connect(m_autosaveTimer, &QTimer::timeout, this, &LogBook::autosave);
    m_autosaveTimer->start();
    // Told once: a damaged file fails every read of the same pages again.
    if (ObjectContext* context = m_store->mainContext())
        connect(context, &ObjectContext::readFailedWith, this, [this, context](const QString& message) {
            if (message == context->readError() && !m_readFailureTold) {
                m_readFailureTold = true;
                emit readFailed(message);
            }
        });
    postDocCountChanged();
}

LogBook::~LogBook()
{
    if (!m_closed)
        close();
    // Windows still waiting for their deferred deletion go now, before the store they show.
    delete m_controller.data();
    delete m_pilotWindowController.data();
    postDocCountChanged();
}

QString LogBook::filePath() const
{
    return m_store->path();
}

QString LogBook::displayName() const
{
    return QFileInfo(filePath()).completeBaseName();
}

LogBookWindowController* LogBook::controller() const
{
    return m_controller;
}

PilotWindowController* LogBook::pilotWindowController() const
{
    return m_pilotWindowController;
}

ObjectContext* LogBook::managedObjectContext() const
{
    return m_store->mainContext();
}

void LogBook::makeWindowControllers(bool noRecentDocument)
{
    ObjectContext* context = managedObjectContext();
    const FetchRequest pilots{QString::fromLatin1(Pilot::EntityName), {}, {}, 0};
    const auto count = context->count(pilots);
    if (count && *count == 0 && !isReadOnly()) {
        Pilot* pilot = context->insert<Pilot>();
        m_pilotWindowController = new PilotWindowController(pilot, context);
        m_pilotWindowController->setWindowTitle(tr("Pilot – %1").arg(displayName()));
        m_pilotWindowController->installEventFilter(this);
        // A new logbook is written at once, so it is on disk (and in the recent list) from the start.
        (void)save();
    }

    m_controller = new LogBookWindowController(context);
    m_controller->setImportServices(m_importServices);
    m_controller->setWindowTitle(isReadOnly() ? tr("%1 (read-only) - Kalvora").arg(displayName())
                                              : tr("%1 - Kalvora").arg(displayName()));
    m_controller->setWindowFilePath(filePath());
    m_controller->installEventFilter(this);
    connect(m_controller, &LogBookWindowController::pilotWindowRequested, this, &LogBook::openPilotWindow);
    connect(m_controller, &LogBookWindowController::windowClosing, this, [this] { (void)save(); });
    m_controller->windowDidLoad({.openPilotWindow = noRecentDocument});
}

void LogBook::createPilotWindow()
{
    ObjectContext* context = managedObjectContext();
    const QList<Pilot*> pilots = context->fetch<Pilot>();
    m_pilotWindowController = new PilotWindowController(pilots.isEmpty() ? nullptr : pilots.first(), context);
    m_pilotWindowController->setWindowTitle(tr("Pilot – %1").arg(displayName()));
    m_pilotWindowController->installEventFilter(this);
    // Shown, not edited, in a logbook opened read-only.
    m_pilotWindowController->setEnabled(!isReadOnly());
}

void LogBook::openPilotWindow()
{
    if (m_closed)
        return;
    if (!m_pilotWindowController)
        createPilotWindow();
    // The logbook window first, so the pilot window opens over it with the keyboard.
    if (m_controller && !m_controller->isVisible())
        showWindow(m_controller);
    if (m_controller && m_pilotWindowController->parentWidget() != m_controller) {
        // Kept above its logbook window, so on a first start it is not hidden behind it.
        const bool first = !m_pilotWindowController->isVisible();
        m_pilotWindowController->setParent(m_controller, m_pilotWindowController->windowFlags() | Qt::Window);
        if (first && m_controller->isVisible())
            placeOver(m_pilotWindowController, m_controller);
    }
    showWindow(m_pilotWindowController);
    // Again once the window system has mapped both, which may have given the focus to the other.
    QTimer::singleShot(50, m_pilotWindowController, [window = m_pilotWindowController] {
        if (window && window->isVisible()) {
            window->raise();
            window->activateWindow();
        }
    });
}

void LogBook::openFlightsWindow()
{
    if (m_closed)
        return;
    if (!m_controller)
        makeWindowControllers(false);
    showWindow(m_controller);
}

void LogBook::showWindow(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
    // Once decorated, the whole frame is brought onto the screen (title bar included).
    QTimer::singleShot(100, window, [window] { keepOnScreen(window); });
}

qint64 LogBook::flightCount() const
{
    const auto count = managedObjectContext()->count({QString::fromLatin1(Flight::EntityName), {}, {}, 0});
    return count ? *count : 0;
}

Result<Done> LogBook::save()
{
    ObjectContext* context = managedObjectContext();
    // Nothing is offered that would change a read-only logbook; nothing is tried either.
    if (!context || !context->hasChanges() || isReadOnly())
        return Done{};
    auto saved = context->save();
    if (!saved) {
        const QString message = QString::fromStdString(saved.error());
        // Reported once per kind of failure; the timer keeps trying.
        if (message != m_lastSaveError) {
            m_lastSaveError = message;
            emit saveFailed(message);
        }
        return saved;
    }
    m_lastSaveError.clear();
    return saved;
}

void LogBook::autosave()
{
    (void)save();
}

void LogBook::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_autosaveTimer->stop();
    (void)save();
    if (m_pilotWindowController) {
        m_pilotWindowController->removeEventFilter(this);
        m_pilotWindowController->hide();
        m_pilotWindowController->deleteLater();
    }
    if (m_controller) {
        m_controller->removeEventFilter(this);
        m_controller->hide();
        // Not deleted here: close() may run inside one of the window's own event handlers.
        m_controller->deleteLater();
    }
    emit closed(this);
}

bool LogBook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        emit activated(this);
    if (watched == m_controller && event->type() == QEvent::Close && !m_closed) {
        // The logbook window's closeEvent has run (it saves through windowClosing);
        // the document goes with its window once the event is done.
        QTimer::singleShot(0, this, [this] { close(); });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kalvora
