#include "contestserver.h"

#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

namespace kalvora::test {

ContestServer::ContestServer()
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (openssl.isEmpty() || python.isEmpty()) {
        m_problem = QStringLiteral("openssl and python3 are needed (scripts/install-deps installs them)");
        return;
    }
    // A certificate for 127.0.0.1 that exists for this run only; the client is
    // told to trust it, the way a user would add a private authority.
    QProcess keygen;
    keygen.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                           QStringLiteral("ec"), QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                           QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                           QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                           QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                           m_dir.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"), certificatePath()});
    if (!keygen.waitForFinished(30000) || keygen.exitCode() != 0) {
        m_problem = QStringLiteral("openssl: ") + QString::fromLocal8Bit(keygen.readAllStandardError());
        return;
    }
    m_config = QJsonObject{{"apiKey", kApiKey}, {"apiSecret", kApiSecret}, {"user", kContestUser},
                           {"password", kContestPassword}};
    writeConfig();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(python, {QStringLiteral(KALVORA_SOURCE_DIR "/tests/contests/contestserver.py"),
                             QStringLiteral("--cert"), certificatePath(), QStringLiteral("--key"),
                             m_dir.filePath(QStringLiteral("key.pem")), QStringLiteral("--config"),
                             m_dir.filePath(QStringLiteral("config.json")), QStringLiteral("--log"),
                             m_dir.filePath(QStringLiteral("requests.jsonl"))});
    if (!m_process.waitForReadyRead(30000)) {
        m_problem = QStringLiteral("contestserver.py did not start");
        return;
    }
    m_port = quint16(m_process.readLine().trimmed().toUInt());
    qputenv("KALVORA_CA_CERTIFICATES", certificatePath().toLocal8Bit());
    qputenv("KALVORA_DHVXC_URL", baseUrl().toString().toLatin1());
    qputenv("KALVORA_XCONTEST_URL", baseUrl().toString().toLatin1());
    qputenv("KALVORA_XCONTEST_API_KEY", kApiKey.toLatin1());
    qputenv("KALVORA_XCONTEST_API_SECRET", kApiSecret.toLatin1());
}

ContestServer::~ContestServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    for (const char* name : {"KALVORA_CA_CERTIFICATES", "KALVORA_DHVXC_URL", "KALVORA_XCONTEST_URL",
                             "KALVORA_XCONTEST_API_KEY", "KALVORA_XCONTEST_API_SECRET"})
        qunsetenv(name);
}

QUrl ContestServer::baseUrl() const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_port));
}

QString ContestServer::certificatePath() const
{
    return m_dir.filePath(QStringLiteral("cert.pem"));
}

void ContestServer::writeConfig()
{
    QFile file(m_dir.filePath(QStringLiteral("config.json.new")));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(m_config).toJson());
        file.close();
        // Replaced in one step: the server reads it while requests come in.
        QFile::remove(m_dir.filePath(QStringLiteral("config.json")));
        file.rename(m_dir.filePath(QStringLiteral("config.json")));
    }
}

void ContestServer::setAnswer(const QString& service, const QJsonObject& answer)
{
    m_config.insert(service, answer);
    writeConfig();
}

void ContestServer::setAccount(const QString& user, const QString& password)
{
    m_config.insert(QStringLiteral("user"), user);
    m_config.insert(QStringLiteral("password"), password);
    writeConfig();
}

QList<QJsonObject> ContestServer::requests() const
{
    QList<QJsonObject> list;
    QFile file(m_dir.filePath(QStringLiteral("requests.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return list;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            list.append(QJsonDocument::fromJson(line).object());
    }
    return list;
}

QList<QJsonObject> ContestServer::requests(const QString& service) const
{
    QList<QJsonObject> list;
    for (const QJsonObject& request : requests())
        if (request.value(QLatin1String("service")).toString() == service)
            list.append(request);
    return list;
}

QByteArray base64Field(const QJsonObject& request, const char* name)
{
    return QByteArray::fromBase64(request.value(QLatin1String(name)).toString().toLatin1());
}

} // namespace kalvora::test
