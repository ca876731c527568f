#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "contests/credentialstore.h"

namespace kalvora {
namespace {

TEST(LoginSecret, SplitsIntoExactlyTwoParts)
{
    const ContestLogin login{QStringLiteral("pilot"), QStringLiteral("pässword")};
    EXPECT_EQ(contestLoginSecret(login), QByteArray("pilot\np\xC3\xA4ssword"));
    EXPECT_EQ(contestLoginFromSecret(contestLoginSecret(login)), login);
    EXPECT_EQ(contestLoginFromSecret("pilot"), std::nullopt);
    EXPECT_EQ(contestLoginFromSecret("pilot\npass\nmore"), std::nullopt);
    EXPECT_EQ(contestLoginFromSecret("\n"), (ContestLogin{}));
}

TEST(ContestLoginKeeping, ReplacesTheItemInTheKeyring)
{
    MemoryCredentialStore keyring;
    (void)keyring.write(QStringLiteral("DHV_XC"), QStringLiteral("Login"), "old\nsecret");
    const LoginSaveOutcome saved =
        saveContestLogin(keyring, QStringLiteral("DHV_XC"), {QStringLiteral("new"), QStringLiteral("pw")});
    EXPECT_TRUE(saved.savedInKeyring);
    EXPECT_TRUE(saved.problem.isEmpty());
    EXPECT_EQ(keyring.itemCount(), 1);
    EXPECT_EQ(*keyring.read(QStringLiteral("DHV_XC"), QStringLiteral("Login")), QByteArray("new\npw"));
    EXPECT_EQ(loadContestLogin(keyring, QStringLiteral("DHV_XC")), (ContestLogin{"new", "pw"}));
    EXPECT_EQ(loadContestLogin(keyring, QStringLiteral("XC")), std::nullopt);

    (void)keyring.write(QStringLiteral("XC"), QStringLiteral("Login"), "no line feed");
    EXPECT_EQ(loadContestLogin(keyring, QStringLiteral("XC")), std::nullopt);
}

TEST(ContestLoginKeeping, WithoutKeyringThePasswordLivesOnlyInThisRun)
{
    MemoryCredentialStore keyring;
    keyring.setUnavailable(true);
    const QString service = QStringLiteral("NoKeyringService");
    const LoginSaveOutcome saved = saveContestLogin(keyring, service, {QStringLiteral("u"), QStringLiteral("p")});
    EXPECT_FALSE(saved.savedInKeyring);
    EXPECT_TRUE(saved.problem.startsWith(QLatin1String("Password not saved"))) << saved.problem.toStdString();
    EXPECT_EQ(loadContestLogin(keyring, service), (ContestLogin{"u", "p"}));

    // Once the keyring is back, the next confirmation puts it there and the stand-in goes.
    keyring.setUnavailable(false);
    EXPECT_TRUE(saveContestLogin(keyring, service, {QStringLiteral("u"), QStringLiteral("p2")}).savedInKeyring);
    (void)keyring.remove(service, QStringLiteral("Login"));
    EXPECT_EQ(loadContestLogin(keyring, service), std::nullopt);
}

/**
 * The desktop keyring itself: gnome-keyring-daemon's Secret Service in a
 * D-Bus session of its own, with a home folder of its own, so the user's
 * keyrings are never touched.
 */
class SecretServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString dbus = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        const QString keyringDaemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
        if (dbus.isEmpty() || keyringDaemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon and gnome-keyring-daemon are needed (scripts/install-deps installs them)";
        ASSERT_TRUE(m_home.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* sub : {"data", "config", "cache", "run"})
            ASSERT_TRUE(QDir(m_home.path()).mkpath(QLatin1String(sub)));
        QFile::setPermissions(m_home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("run")));

        m_bus.setProcessEnvironment(env);
        m_bus.start(dbus, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                           QStringLiteral("--print-address=1")});
        ASSERT_TRUE(m_bus.waitForReadyRead(10000)) << "dbus-daemon did not start";
        const QByteArray address = m_bus.readLine().trimmed();
        ASSERT_FALSE(address.isEmpty());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(address));

        m_keyring.setProcessEnvironment(env);
        m_keyring.start(keyringDaemon, {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                        QStringLiteral("--components=secrets")});
        ASSERT_TRUE(m_keyring.waitForStarted(10000));
        m_keyring.write("kalvora-test-keyring");
        m_keyring.waitForBytesWritten(5000);
        m_keyring.closeWriteChannel();

        // --unlock creates the login keyring from the password on standard input; give it a moment.
        QThread::msleep(500);

        // This process talks to that bus only.
        m_oldBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        m_oldDesktop = qgetenv("XDG_CURRENT_DESKTOP");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    }

    void TearDown() override
    {
        for (const auto& [name, value] : {std::pair{"DBUS_SESSION_BUS_ADDRESS", m_oldBus},
                                          std::pair{"XDG_CURRENT_DESKTOP", m_oldDesktop}}) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        for (QProcess* process : {&m_keyring, &m_bus}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(5000)) {
                    process->kill();
                    process->waitForFinished(5000);
                }
            }
        }
    }

    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_keyring;
    QByteArray m_oldBus;
    QByteArray m_oldDesktop;
};

TEST_F(SecretServiceTest, LoginRoundTripsThroughTheDesktopKeyring)
{
    KeychainCredentialStore keyring;
    const QString service = QStringLiteral("DHV_XC");
    const ContestLogin login{QStringLiteral("pilot@example.org"), QStringLiteral("Kalvora-Keyring-Only-42")};

    // The daemon takes a moment to own its name on the bus.
    LoginSaveOutcome saved;
    for (int attempt = 0; attempt < 50; ++attempt) {
        saved = saveContestLogin(keyring, service, login);
        if (saved.savedInKeyring)
            break;
        QThread::msleep(100);
    }
    ASSERT_TRUE(saved.savedInKeyring) << saved.problem.toStdString();
    EXPECT_EQ(loadContestLogin(keyring, service), login);
    EXPECT_EQ(*keyring.read(service, QStringLiteral("Login")), contestLoginSecret(login));

    // From a worker thread, as the submissions use it.
    std::optional<ContestLogin> fromWorker;
    QThread* worker = QThread::create([&] { fromWorker = loadContestLogin(keyring, service); });
    worker->start();
    // The keyring answers on this thread: keep it turning while the worker waits.
    while (!worker->wait(10))
        QCoreApplication::processEvents();
    delete worker;
    EXPECT_EQ(fromWorker, login);

    // The keyring file is encrypted: the password is in no file in plain text.
    QDirIterator files(m_home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(file.readAll().contains(login.password.toUtf8())) << file.fileName().toStdString();
        }
    }

    ASSERT_TRUE(keyring.remove(service, QStringLiteral("Login")).ok());
    const Result<std::optional<QByteArray>> gone = keyring.read(service, QStringLiteral("Login"));
    ASSERT_TRUE(gone.ok()) << gone.error();
    EXPECT_FALSE(gone->has_value());
}

} // namespace
} // namespace kalvora
