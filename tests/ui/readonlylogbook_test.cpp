// Logbooks the application may not write: a read-only folder, a damaged file.
#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/appinteraction.h"
#include "app/kalvoraappdelegate.h"
#include "app/logbook.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "support/readonlypath.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/pilotwindowcontroller.h"

namespace kalvora::test {
namespace {

QByteArray fingerprint(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

/** Answers the damaged-logbook question as told and counts every alert. */
class ScriptedAppInteraction final : public AppInteraction
{
public:
    explicit ScriptedAppInteraction(bool openReadOnly) : m_openReadOnly(openReadOnly) {}
    bool presentError(const PresentableError& error) override
    {
        presented.append(error.description + QLatin1Char(' ') + error.failureReason);
        return false;
    }
    bool askQuitAnyway() override { return true; }
    bool askOpenDamagedReadOnly(const PresentableError& error) override
    {
        asked.append(error.description + QLatin1Char(' ') + error.failureReason);
        return m_openReadOnly;
    }
    QStringList presented;
    QStringList asked;

private:
    bool m_openReadOnly;
};

class ReadOnlyLogbook : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.filePath(QStringLiteral("config")));
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
        ASSERT_TRUE(QDir().mkpath(m_home.filePath(QStringLiteral("books"))));
    }

    void TearDown() override
    {
        if (m_oldDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", m_oldDataHome);
    }

    QString logbookPath() const { return m_home.filePath(QStringLiteral("books/2019.kalvora")); }

    /** A closed logbook with its pilot and two flights, each with a track of its own letter. */
    void writeLogbook()
    {
        auto store = PersistentStore::open(logbookPath(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok()) << store.error();
        ObjectContext* ctx = (*store)->mainContext();
        ctx->insert<Pilot>();
        for (int i = 0; i < 2; ++i) {
            auto* f = ctx->insert<Flight>();
            f->setStartUTC(QDateTime(QDate(2019, 6, 1 + i), QTime(10, 0), Qt::UTC));
            f->setFreeDistance(12.5);
            f->setIgcData(QString(50000, QLatin1Char(i == 0 ? 'Q' : 'R')));
        }
        ASSERT_TRUE(ctx->save().ok());
    }

    static void expectNoEditing(LogBookWindowController& window, qsizetype flights)
    {
        EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("read-only"))) << window.windowTitle().toStdString();
        for (const char* name : {"addFlight", "importIGC", "deleteFlights", "recalcFlight"}) {
            const auto* action = window.findChild<QAction*>(QLatin1String(name));
            ASSERT_NE(action, nullptr) << name;
            EXPECT_FALSE(action->isVisible()) << name;
        }
        const auto* details = window.findChild<QWidget*>(QStringLiteral("flightDetails"));
        ASSERT_NE(details, nullptr);
        EXPECT_FALSE(details->isEnabled());
        EXPECT_FALSE(window.acceptDrops());
        EXPECT_FALSE(window.importFiles({QStringLiteral("/nonexistent/any.igc")}));
        EXPECT_EQ(window.flightList().size(), flights);
    }

    QTemporaryDir m_home;
    QByteArray m_oldDataHome;
};

TEST_F(ReadOnlyLogbook, AReadOnlyFolderIsShownButNotEdited)
{
    writeLogbook();
    ReadOnlyPath locked(m_home.filePath(QStringLiteral("books")));
    if (!locked.isActive())
        GTEST_SKIP() << "no way to make a folder read-only here";
    const QByteArray before = fingerprint(logbookPath());
    {
        auto opened = LogBook::open(logbookPath(), PersistentStore::OpenMode::MustExist);
        ASSERT_TRUE(opened.ok()) << opened.error();
        LogBook& book = *opened.value();
        EXPECT_TRUE(book.isReadOnly());
        book.makeWindowControllers(false);
        ASSERT_NE(book.controller(), nullptr);
        expectNoEditing(*book.controller(), 2);
        book.openPilotWindow();
        ASSERT_NE(book.pilotWindowController(), nullptr);
        EXPECT_FALSE(book.pilotWindowController()->isEnabled());
        EXPECT_TRUE(book.save().ok());
        book.close();
    }
    EXPECT_EQ(fingerprint(logbookPath()), before);
}

TEST_F(ReadOnlyLogbook, ADamagedLogbookIsOfferedReadOnlyAndNeverWritten)
{
    writeLogbook();
    // Every page of the first flight's track, as a failing disk would leave them.
    ASSERT_GT(damagePagesHolding(logbookPath(), QByteArray(64, 'Q')), 0);
    const QByteArray damaged = fingerprint(logbookPath());

    {
        auto* cancelling = new ScriptedAppInteraction(false);
        KalvoraAppDelegate app{std::unique_ptr<AppInteraction>(cancelling)};
        QString error = QStringLiteral("untouched");
        EXPECT_EQ(app.openDocumentWithContentsOfFile(logbookPath(), &error), nullptr);
        ASSERT_EQ(cancelling->asked.size(), 1);
        EXPECT_TRUE(cancelling->asked.first().contains(QStringLiteral("damaged"))) << cancelling->asked.first().toStdString();
        // The question was the whole message: no second alert follows it.
        EXPECT_TRUE(error.isEmpty());
        EXPECT_TRUE(cancelling->presented.isEmpty());
        EXPECT_TRUE(app.getOpenDocuments().isEmpty());
    }
    {
        auto* accepting = new ScriptedAppInteraction(true);
        KalvoraAppDelegate app{std::unique_ptr<AppInteraction>(accepting)};
        LogBook* book = app.openDocumentWithContentsOfFile(logbookPath());
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(accepting->asked.size(), 1);
        EXPECT_TRUE(book->isReadOnly());
        ASSERT_NE(book->controller(), nullptr);
        // The damaged page holds the flights' list: nothing to show, and the user is told why.
        expectNoEditing(*book->controller(), 0);
        ASSERT_EQ(accepting->presented.size(), 1) << accepting->presented.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(accepting->presented.first().contains(QStringLiteral("could not be read")));
        EXPECT_TRUE(accepting->presented.first().contains(QStringLiteral("damaged")));
        book->close();
    }
    EXPECT_EQ(fingerprint(logbookPath()), damaged);
}

} // namespace
} // namespace kalvora::test
