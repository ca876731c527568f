#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace kalvora::test {

/** The account the servers know. */
inline const QString kContestUser = QStringLiteral("pilot@example.org");
inline const QString kContestPassword = QStringLiteral("Grüne&klasse=5+x");
inline const QString kApiKey = QStringLiteral("0123456789ABCDEF-0123456789ABCDEF-0123456789ABCDEF");
inline const QString kApiSecret = QStringLiteral("00112233445566778899aabbccddeeff");

/**
 * The DHV-XC and XContest servers of contestserver.py over HTTPS on
 * 127.0.0.1, with a certificate made for this run. The constructor points
 * the process's environment at it (addresses, API key and secret, the
 * certificate to trust), so the code under test and the command-line tool
 * it starts reach this server and nothing else.
 */
class ContestServer
{
public:
    ContestServer();
    ~ContestServer();
    ContestServer(const ContestServer&) = delete;
    ContestServer& operator=(const ContestServer&) = delete;

    [[nodiscard]] bool isRunning() const { return m_port != 0; }
    /** Why the server did not start. */
    [[nodiscard]] QString problem() const { return m_problem; }
    [[nodiscard]] QUrl baseUrl() const;

    /**
     * How SERVICE ("dhvxc", "ticket" or "upload") answers from now on: keys
     * status, body (text), contentType, delayMs, drop. Absent keys: a success.
     */
    void setAnswer(const QString& service, const QJsonObject& answer);
    /** The log-in the server accepts. */
    void setAccount(const QString& user, const QString& password);

    /** What the server received, one object per request (see contestserver.py). */
    [[nodiscard]] QList<QJsonObject> requests() const;
    [[nodiscard]] QList<QJsonObject> requests(const QString& service) const;

    /** The PEM file of the server's certificate. */
    [[nodiscard]] QString certificatePath() const;

private:
    void writeConfig();

    QTemporaryDir m_dir;
    QProcess m_process;
    QJsonObject m_config;
    quint16 m_port = 0;
    QString m_problem;
};

/** The bytes of a request's base64 field NAME. */
QByteArray base64Field(const QJsonObject& request, const char* name);

} // namespace kalvora::test
