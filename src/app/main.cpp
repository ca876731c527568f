#include <clocale>
#include <cstdio>

#include <QApplication>
#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>

#include "app/appicon.h"
#include "app/kalvoraappdelegate.h"
#include "app/logbook.h"
#include "app/launchoptions.h"
#include "app/singleinstance.h"
#include "app/startupservices.h"
#include "track/version.h"

namespace {

/** One line per shown top-level window and open logbook, for scripted runs that check what start-up showed. */
void reportWindows(const kalvora::KalvoraAppDelegate& delegate)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !widget->objectName().isEmpty())
            std::printf("window: %s\n", qPrintable(widget->objectName()));
    }
    // The menu entries of the logbook windows, so a run can tell that none is a dead placeholder.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<QMainWindow*>(widget);
        if (!window || !window->isVisible() || !window->menuWidget())
            continue;
        for (QAction* top : window->menuBar()->actions()) {
            if (!top->menu())
                continue;
            for (QAction* entry : top->menu()->actions()) {
                if (entry->isSeparator() || entry->text().isEmpty())
                    continue;
                std::printf("menu: %s > %s%s\n", qPrintable(top->text().remove(QLatin1Char('&'))),
                            qPrintable(entry->text().remove(QLatin1Char('&'))), entry->isEnabled() ? "" : " (disabled)");
            }
        }
    }
    for (const kalvora::LogBook* document : delegate.getOpenDocuments())
        std::printf("logbook: %s\n", qPrintable(document->filePath()));
    if (const kalvora::LogBook* current = delegate.currentDocument())
        std::printf("current: %s\n", qPrintable(current->filePath()));
    std::fflush(stdout);
}

/** The flights of each open logbook, as the run ends. */
void reportFlights(const kalvora::KalvoraAppDelegate& delegate)
{
    for (const kalvora::LogBook* document : delegate.getOpenDocuments())
        std::printf("flights: %lld %s\n", static_cast<long long>(document->flightCount()),
                    qPrintable(document->filePath()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The application object took every locale category from the environment; the
    // numbers written and read back for instruments, files and URLs (printf,
    // strtod) keep the C locale's '.' whatever the user's language.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Kalvora"));
    QApplication::setOrganizationName(QStringLiteral("Kalvora"));
    QApplication::setApplicationVersion(QString::fromLatin1(kalvora::versionString()));
    QApplication::setDesktopFileName(QStringLiteral("kalvora"));
    // The theme's icon once installed; painted when run from the build folder.
    QApplication::setWindowIcon(kalvora::appIcon());
    // Closing the last logbook goes through the delegate's quit path, which may refuse.
    QApplication::setQuitOnLastWindowClosed(false);

    const kalvora::LaunchOptions options = kalvora::parseLaunchOptions(QApplication::arguments());

    // A start while the application runs hands its files over instead of opening the logbook a second time.
    if (kalvora::SingleInstance::forwardToRunningInstance(options.files))
        return 0;
    kalvora::SingleInstance instance;
    instance.listen();

    kalvora::KalvoraAppDelegate delegate(nullptr, std::make_unique<kalvora::NetworkStartupServices>());
    QObject::connect(&instance, &kalvora::SingleInstance::filesReceived, &delegate,
                     &kalvora::KalvoraAppDelegate::openFiles);
    delegate.launch(options.files);

    if (options.reportWindows)
        QTimer::singleShot(0, &delegate, [&delegate] { reportWindows(delegate); });
    if (options.quitAfterMs)
        QTimer::singleShot(*options.quitAfterMs, &delegate, [&delegate, &options] {
            if (options.reportWindows)
                reportFlights(delegate);
            delegate.requestQuit();
        });

    return QApplication::exec();
}
