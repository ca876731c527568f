#include "contests/credentialstore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QMutexLocker>

#include <qt6keychain/keychain.h>

#include <cstring>

namespace kalvora {

namespace {

QString itemKey(const QString& service, const QString& account)
{
    return service + QChar(0) + account;
}

// Runs a keyring job to its end on the calling thread; qtkeychain talks to
// D-Bus asynchronously, so a local loop waits for its answer.
void runJob(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// qtkeychain queues its jobs in one executor that must not see jobs of other
// threads (it would touch them after they are gone): every job runs on the
// application's thread, and other threads wait for it there.
template <typename F>
auto onApplicationThread(F work) -> decltype(work())
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return work();
    std::optional<decltype(work())> result;
    QMetaObject::invokeMethod(app, [&] { result.emplace(work()); }, Qt::BlockingQueuedConnection);
    return std::move(*result);
}

std::string keyringFailure(const QKeychain::Job& job)
{
    return QStringLiteral("The keyring is not available (%1).").arg(job.errorString()).toStdString();
}

// Log-ins kept for this run only, while the keyring cannot take them.
MemoryCredentialStore& sessionLogins()
{
    static MemoryCredentialStore store;
    return store;
}

const QString kLoginAccount = QStringLiteral("Login");

} // namespace

Result<std::optional<QByteArray>> KeychainCredentialStore::read(const QString& service, const QString& account)
{
    return onApplicationThread([&]() -> Result<std::optional<QByteArray>> {
        QKeychain::ReadPasswordJob job(service);
        job.setKey(account);
        runJob(job);
        if (job.error() == QKeychain::EntryNotFound)
            return std::optional<QByteArray>();
        if (job.error() != QKeychain::NoError)
            return Error{keyringFailure(job)};
        return std::optional<QByteArray>(job.binaryData());
    });
}

Result<Done> KeychainCredentialStore::write(const QString& service, const QString& account, const QByteArray& secret)
{
    return onApplicationThread([&]() -> Result<Done> {
        QKeychain::WritePasswordJob job(service);
        job.setKey(account);
        job.setBinaryData(secret);
        runJob(job);
        if (job.error() != QKeychain::NoError)
            return Error{keyringFailure(job)};
        return Done{};
    });
}

Result<Done> KeychainCredentialStore::remove(const QString& service, const QString& account)
{
    return onApplicationThread([&]() -> Result<Done> {
        QKeychain::DeletePasswordJob job(service);
        job.setKey(account);
        runJob(job);
        if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
            return Error{keyringFailure(job)};
        return Done{};
    });
}

Result<std::optional<QByteArray>> MemoryCredentialStore::read(const QString& service, const QString& account)
{
    QMutexLocker lock(&m_mutex);
    if (m_unavailable)
        return Error{"The keyring is not available."};
    const auto found = m_items.constFind(itemKey(service, account));
    if (found == m_items.constEnd())
        return std::optional<QByteArray>();
    return std::optional<QByteArray>(*found);
}

Result<Done> MemoryCredentialStore::write(const QString& service, const QString& account, const QByteArray& secret)
{
    QMutexLocker lock(&m_mutex);
    if (m_unavailable)
        return Error{"The keyring is not available."};
    auto found = m_items.find(itemKey(service, account));
    if (found != m_items.end())
        scrubSecret(*found);
    m_items.insert(itemKey(service, account), secret);
    return Done{};
}

Result<Done> MemoryCredentialStore::remove(const QString& service, const QString& account)
{
    QMutexLocker lock(&m_mutex);
    if (m_unavailable)
        return Error{"The keyring is not available."};
    auto found = m_items.find(itemKey(service, account));
    if (found != m_items.end()) {
        scrubSecret(*found);
        m_items.erase(found);
    }
    return Done{};
}

void MemoryCredentialStore::setUnavailable(bool unavailable)
{
    QMutexLocker lock(&m_mutex);
    m_unavailable = unavailable;
}

int MemoryCredentialStore::itemCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_items.size());
}

CredentialStore& desktopCredentialStore()
{
    static KeychainCredentialStore store;
    return store;
}

QByteArray contestLoginSecret(const ContestLogin& login)
{
    return login.user.toUtf8() + '\n' + login.password.toUtf8();
}

std::optional<ContestLogin> contestLoginFromSecret(const QByteArray& secret)
{
    const qsizetype feed = secret.indexOf('\n');
    if (feed < 0 || secret.indexOf('\n', feed + 1) >= 0)
        return std::nullopt;
    return ContestLogin{QString::fromUtf8(secret.left(feed)), QString::fromUtf8(secret.mid(feed + 1))};
}

std::optional<ContestLogin> loadContestLogin(CredentialStore& store, const QString& service)
{
    Result<std::optional<QByteArray>> secret = store.read(service, kLoginAccount);
    if (!secret || !secret->has_value())
        secret = sessionLogins().read(service, kLoginAccount);
    if (!secret || !secret->has_value())
        return std::nullopt;
    std::optional<ContestLogin> login = contestLoginFromSecret(**secret);
    scrubSecret(**secret);
    return login;
}

LoginSaveOutcome saveContestLogin(CredentialStore& store, const QString& service, const ContestLogin& login)
{
    QByteArray secret = contestLoginSecret(login);
    LoginSaveOutcome outcome;
    Result<Done> done = store.remove(service, kLoginAccount);
    if (done)
        done = store.write(service, kLoginAccount, secret);
    if (done) {
        (void)sessionLogins().remove(service, kLoginAccount);
    } else {
        outcome.savedInKeyring = false;
        outcome.problem = QStringLiteral("Password not saved: %1 It is kept only until Kalvora quits.")
                              .arg(QString::fromStdString(done.error()));
        (void)sessionLogins().write(service, kLoginAccount, secret);
    }
    scrubSecret(secret);
    return outcome;
}

void scrubSecret(QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    // data() detaches, so only this copy is wiped; shared copies wipe themselves.
    std::memset(bytes.data(), 0, size_t(bytes.size()));
    bytes.clear();
}

void scrubSecret(QString& text)
{
    if (text.isEmpty())
        return;
    std::memset(static_cast<void*>(text.data()), 0, size_t(text.size()) * sizeof(QChar));
    text.clear();
}

} // namespace kalvora
