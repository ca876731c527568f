// The application's own entries in a logbook's menus: preferences and the bug report.
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include "app/kalvoraappdelegate.h"
#include "app/logbook.h"
#include "model/settings.h"
#include "track/version.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/settingswindowcontroller.h"

namespace kalvora::test {
namespace {

class SilentApp final : public AppInteraction
{
public:
    bool presentError(const PresentableError&) override { return false; }
    bool askQuitAnyway() override { return true; }
};

} // namespace

/** Takes the addresses the desktop would have opened. */
class UrlCatcher : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened << url; }

public:
    QList<QUrl> opened;
};

namespace {

TEST(AppMenus, PreferencesAndBugReportWork)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    QSettings().clear();
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    {
        KalvoraAppDelegate delegate(std::make_unique<SilentApp>());
        LogBook* document = delegate.newDocumentAt(dir.filePath(QStringLiteral("menus.kalvora")));
        ASSERT_NE(document, nullptr);
        delegate.applicationDidFinishLaunching();
        QMenuBar* bar = document->controller()->menuBar();

        QAction* preferences = bar->findChild<QAction*>(QStringLiteral("preferences"));
        ASSERT_NE(preferences, nullptr);
        EXPECT_EQ(preferences->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        preferences->trigger();
        SettingsWindowController* window = delegate.settingsWindowController();
        ASSERT_TRUE(window->isVisible());
        // The window works on the application's record: a choice there is the record's.
        window->findChild<QComboBox*>(QStringLiteral("distanceUnit"))->setCurrentIndex(1);
        EXPECT_EQ(delegate.settings()->distanceUnitString(), QStringLiteral("mil"));
        window->close();
        preferences->trigger();
        EXPECT_EQ(delegate.settingsWindowController(), window) << "created once, shown again";

        QAction* bug = bar->findChild<QAction*>(QStringLiteral("reportBug"));
        ASSERT_NE(bug, nullptr);
        bug->trigger();
        ASSERT_EQ(catcher.opened.size(), 1);
        const QString body = QUrlQuery(catcher.opened.first()).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
        EXPECT_TRUE(body.contains(QStringLiteral("Kalvora %1").arg(QString::fromLatin1(versionString()))));
        EXPECT_TRUE(body.contains(QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion()))));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    if (oldHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldHome);
}

} // namespace
} // namespace kalvora::test

#include "appmenus_test.moc"
