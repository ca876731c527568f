#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <optional>

#include "track/result.h"

namespace kalvora {

/**
 * The desktop keyring as the contests see it: one secret per service and
 * account. Calls block until the keyring has answered; they may come from any
 * thread that is not inside another keyring call. An unreachable keyring is an
 * error, a missing item is not.
 */
class CredentialStore
{
public:
    virtual ~CredentialStore() = default;
    /** The secret of SERVICE/ACCOUNT; nullopt when there is none; an error when the keyring cannot be asked. */
    [[nodiscard]] virtual Result<std::optional<QByteArray>> read(const QString& service, const QString& account) = 0;
    /** Stores SECRET under SERVICE/ACCOUNT, replacing any earlier one. */
    [[nodiscard]] virtual Result<Done> write(const QString& service, const QString& account, const QByteArray& secret) = 0;
    /** Deletes SERVICE/ACCOUNT; a missing item is no error. */
    [[nodiscard]] virtual Result<Done> remove(const QString& service, const QString& account) = 0;
};

/**
 * The keyring of the desktop through qtkeychain: the Secret Service on GNOME
 * and most others, KWallet on KDE. Never falls back to a file: without a
 * keyring every call fails. The keyring is asked on the application's
 * thread: a call from another thread waits for it there, so the
 * application's thread must not be waiting for that thread meanwhile.
 */
class KeychainCredentialStore final : public CredentialStore
{
public:
    Result<std::optional<QByteArray>> read(const QString& service, const QString& account) override;
    Result<Done> write(const QString& service, const QString& account, const QByteArray& secret) override;
    Result<Done> remove(const QString& service, const QString& account) override;
};

/**
 * Secrets in this process's memory only: the tests' keyring, and where a
 * password waits while no keyring is reachable. Thread-safe.
 */
class MemoryCredentialStore final : public CredentialStore
{
public:
    Result<std::optional<QByteArray>> read(const QString& service, const QString& account) override;
    Result<Done> write(const QString& service, const QString& account, const QByteArray& secret) override;
    Result<Done> remove(const QString& service, const QString& account) override;

    /** Makes every later call fail as an unreachable keyring does (tests). */
    void setUnavailable(bool unavailable);
    [[nodiscard]] int itemCount() const;

private:
    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_items;
    bool m_unavailable = false;
};

/** The desktop keyring (a KeychainCredentialStore) shared by the application. */
CredentialStore& desktopCredentialStore();

/** A contest log-in. */
struct ContestLogin
{
    QString user;
    QString password;
    bool operator==(const ContestLogin&) const = default;
};

/** What became of a log-in that was to be remembered. */
struct LoginSaveOutcome
{
    bool savedInKeyring = true;
    /** Why not, for the user ("Password not saved" and the keyring's reason); empty when saved. */
    QString problem;
};

/**
 * The log-in of SERVICE (account "Login"): the secret is the user name, a line
 * feed and the password in UTF-8; a secret without a line feed or with more
 * than one gives nothing. Without a reachable keyring, a log-in kept for this
 * run of the program is returned instead.
 */
[[nodiscard]] std::optional<ContestLogin> loadContestLogin(CredentialStore& store, const QString& service);

/**
 * Replaces the log-in of SERVICE: the old item is deleted, then the new one
 * written. When the keyring cannot take it the log-in is kept in this
 * process's memory only, until the program ends, and the outcome says so.
 */
LoginSaveOutcome saveContestLogin(CredentialStore& store, const QString& service, const ContestLogin& login);

/** The secret of a log-in item: user, line feed, password. */
[[nodiscard]] QByteArray contestLoginSecret(const ContestLogin& login);
/** The log-in in a secret; nullopt unless it splits at line feeds into exactly two parts. */
[[nodiscard]] std::optional<ContestLogin> contestLoginFromSecret(const QByteArray& secret);

/** Overwrites BYTES with zeros before they are released, so a secret does not linger in freed memory. */
void scrubSecret(QByteArray& bytes);
void scrubSecret(QString& text);

} // namespace kalvora
