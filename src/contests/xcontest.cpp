#include "contests/xcontest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <chrono>

#include "contests/credentialstore.h"
#include "services/httpclient.h"
#include "track/igc.h"

namespace kalvora::xcontest {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("XContest", text);
}

QString cannotConnect()
{
    return tr("Can't connect to XContest");
}

// The gate answers JSON; a bare value ("fragment") is a JSON text as well.
std::optional<QJsonValue> decodeJson(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error == QJsonParseError::NoError && !document.isNull())
        return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    const QJsonDocument wrapped = QJsonDocument::fromJson("[" + body + "]", &error);
    if (error.error == QJsonParseError::NoError && wrapped.isArray() && wrapped.array().size() == 1)
        return wrapped.array().first();
    return std::nullopt;
}

// A failure for the user: the server's message, or what kind of answer it was.
QString failureText(const HttpResponse& response, const std::optional<QJsonValue>& json)
{
    if (json) {
        if (const std::optional<QString> message = errorFromJson(*json); message && !message->isEmpty())
            return *message;
    }
    if (!response.ok())
        return tr("XContest refused the request (HTTP status %1).").arg(response.status);
    if (!json)
        return tr("XContest sent an answer that cannot be read.");
    return tr("XContest reported an error without saying which.");
}

QString findLink(const QJsonValue& value)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (const char* key : {"link", "url"}) {
            const QString text = object.value(QLatin1String(key)).toString();
            if (text.startsWith(QLatin1String("https://")) || text.startsWith(QLatin1String("http://")))
                return text;
        }
        for (const QJsonValue& child : object) {
            if (const QString found = findLink(child); !found.isEmpty())
                return found;
        }
    } else if (value.isArray()) {
        for (const QJsonValue& child : value.toArray()) {
            if (const QString found = findLink(child); !found.isEmpty())
                return found;
        }
    }
    return {};
}

QByteArray formPart(const QByteArray& boundary, const QByteArray& name, const QString& value)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value.toUtf8()
           + "\r\n";
}

} // namespace

const QStringList& classNames()
{
    static const QStringList names = {
        tr("Paraglider (FAI 3)"),          tr("Hang glider, flex wing (FAI 1)"), tr("Hang glider, rigid wing (FAI 5)"),
        tr("Hang glider, rigid wing (FAI 2)"), tr("Paramotor"),                  tr("Tandem"),
    };
    return names;
}

const QStringList& categoryNames()
{
    static const QStringList names = {
        tr("EN A"), tr("EN B"), tr("EN C"), tr("EN D"), tr("Competition (CCC)"), tr("Tandem"),
    };
    return names;
}

QString classCode(int index)
{
    static const char* const codes[] = {"3", "1", "5", "2", "11", "12"};
    return index >= 0 && index < 6 ? QLatin1String(codes[index]) : QString();
}

QString categoryCode(int index)
{
    static const char* const codes[] = {"A", "B", "C", "D", "Z", "T"};
    return index >= 0 && index < 6 ? QLatin1String(codes[index]) : QString();
}

QString sha1Hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString md5Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString urlEncode(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding("", "~"));
}

HttpRequest ticketRequest(const QUrl& baseUrl, const QString& apiKey, const QString& apiSecret)
{
    HttpRequest request;
    QUrl url = serviceEndpoint(baseUrl, ticketPath);
    url.setQuery(QStringLiteral("key=%1&hash=%2").arg(urlEncode(apiKey), sha1Hex(apiKey + apiSecret)),
                 QUrl::StrictMode);
    request.url = url;
    request.headers = {{"Cache-Control", "no-cache"}, {"Pragma", "no-cache"}};
    request.timeoutMs = 3000;
    return request;
}

Result<QString> ticketFromAnswer(const HttpResponse& response)
{
    if (!response.error.isEmpty())
        return Error{cannotConnect().toStdString()};
    const std::optional<QJsonValue> json = decodeJson(response.body);
    const bool hasError = !json || errorFromJson(*json).has_value();
    const QString ticket = json ? json->toObject().value(QLatin1String("ticket")).toString() : QString();
    if (!response.ok() || hasError)
        return Error{failureText(response, json).toStdString()};
    if (ticket.isEmpty())
        return Error{tr("XContest sent no ticket.").toStdString()};
    return ticket;
}

QUrl uploadUrl(const QUrl& baseUrl, const QString& apiKey, const QString& apiSecret, const QString& ticket)
{
    QUrl url = serviceEndpoint(baseUrl, requestPath);
    url.setQuery(QStringLiteral("flight&key=%1&ticket=%2&hash=%3&authticket=&lng=en&autocomplete=Y")
                     .arg(urlEncode(apiKey), urlEncode(ticket), sha1Hex(ticket + apiKey + apiSecret)),
                 QUrl::StrictMode);
    return url;
}

QString loginHash(const QString& password, const QString& ticket, const QString& apiKey, const QString& apiSecret)
{
    QByteArray lowered = password.toLower().toUtf8();
    const QString passwordHash = md5Hex(lowered);
    scrubSecret(lowered);
    return sha1Hex(passwordHash + ticket + apiKey + apiSecret);
}

std::optional<QString> errorFromJson(const QJsonValue& value)
{
    if (value.isArray()) {
        for (const QJsonValue& element : value.toArray()) {
            if (std::optional<QString> found = errorFromJson(element))
                return found;
        }
        return std::nullopt;
    }
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    if (object.contains(QLatin1String("error"))) {
        const QJsonValue error = object.value(QLatin1String("error"));
        if (error.isNull() || error == QJsonValue(false))
            return std::nullopt; // "error": null says there is none
        const QJsonValue message = error.toObject().value(QLatin1String("message"));
        return message.isString() ? message.toString() : error.isString() ? error.toString() : QString();
    }
    if (object.contains(QLatin1String("errors"))) {
        const QJsonValue label =
            object.value(QLatin1String("messages")).toArray().first().toObject().value(QLatin1String("label"));
        return label.isString() ? label.toString() : QString();
    }
    for (const QJsonValue& child : object) {
        if (child.isObject() || child.isArray()) {
            if (std::optional<QString> found = errorFromJson(child))
                return found;
        }
    }
    return std::nullopt;
}

QList<std::pair<QString, QString>> flightValues(const Form& form, const ContestFlight& flight)
{
    QList<std::pair<QString, QString>> values = {
        {QStringLiteral("is_active"), form.activate ? QStringLiteral("Y") : QStringLiteral("N")},
        {QStringLiteral("class"), urlEncode(classCode(form.classIndex))},
        {QStringLiteral("glider_name"), urlEncode(form.gliderName)},
        {QStringLiteral("glider_catg"), urlEncode(categoryCode(form.categoryIndex))},
    };
    const QStringList place = flight.startLocation.split(QStringLiteral(", "));
    if (place.size() >= 2)
        values.append({QStringLiteral("country"), urlEncode(place.at(1))});
    values.append({QStringLiteral("takeoff_name"), urlEncode(form.takeoffName)});
    if (form.sendComment && !flight.notice.isEmpty())
        values.append({QStringLiteral("comment"), urlEncode(flight.notice)});
    return values;
}

QString uploadFileName(const ContestFlight& flight)
{
    const std::optional<std::string> shortName =
        IGC::getIGCFilename(std::string_view(flight.igc.constData(), size_t(flight.igc.size())),
                            std::chrono::sys_seconds(std::chrono::seconds(flight.startUTC.toSecsSinceEpoch())),
                            [](const std::string&) { return false; });
    if (shortName)
        return QString::fromStdString(*shortName);
    if (!flight.startUTC.isValid())
        return QStringLiteral("flight.igc");
    // The long IGC name with the code of an unknown maker.
    return flight.startUTC.toUTC().date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("-XXX-000-01.igc");
}

QByteArray Multipart::contentType() const
{
    return "multipart/form-data; boundary=\"" + boundary + '"';
}

Multipart uploadBody(const Form& form, const ContestFlight& flight, const QString& ticket, const QString& apiKey,
                     const QString& apiSecret)
{
    Multipart multipart;
    const QList<std::pair<QString, QString>> values = flightValues(form, flight);
    // A boundary must not occur in what it frames; the record is the pilot's file.
    do {
        multipart.boundary = "KalvoraFormBoundary" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    } while (flight.igc.contains(multipart.boundary));

    const QByteArray& b = multipart.boundary;
    QByteArray& body = multipart.body;
    body += formPart(b, "login[username]", urlEncode(form.user));
    body += formPart(b, "login[hash]", loginHash(form.password, ticket, apiKey, apiSecret));
    body += "--" + b + "\r\nContent-Disposition: form-data; name=\"flight[tracklog]\"; filename=\""
            + urlEncode(uploadFileName(flight)).toUtf8() + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    body += flight.igc;
    body += "\r\n";
    for (const auto& [key, value] : values)
        body += formPart(b, "flight[" + key.toUtf8() + "]", value);
    body += "--" + b + "--\r\n";
    return multipart;
}

SubmissionOutcome submit(HttpClient& http, const QUrl& baseUrl, const QString& apiKey, const QString& apiSecret,
                         const Form& form, const ContestFlight& flight, const std::atomic<bool>* cancel,
                         const std::function<void(int)>& progress)
{
    SubmissionOutcome outcome;
    if (cancel && cancel->load()) {
        outcome.cancelled = true;
        return outcome;
    }
    if (progress)
        progress(1);
    if (flight.igc.isEmpty()) {
        outcome.message = tr("Can't create valid flight data");
        return outcome;
    }
    const Result<QString> ticket = ticketFromAnswer(http.send(ticketRequest(baseUrl, apiKey, apiSecret)));
    if (!ticket) {
        outcome.message = QString::fromStdString(ticket.error());
        return outcome;
    }

    Multipart multipart = uploadBody(form, flight, *ticket, apiKey, apiSecret);
    HttpRequest request;
    request.method = "POST";
    request.url = uploadUrl(baseUrl, apiKey, apiSecret, *ticket);
    request.headers = {{"Content-Type", multipart.contentType()},
                       {"Content-Length", QByteArray::number(multipart.body.size())}};
    request.body = std::move(multipart.body);
    request.timeoutMs = 60000;
    const HttpResponse response = http.send(request);
    scrubSecret(request.body);
    if (!response.error.isEmpty()) {
        outcome.message = cannotConnect();
        return outcome;
    }
    const std::optional<QJsonValue> json = decodeJson(response.body);
    if (!response.ok() || !json || errorFromJson(*json)) {
        outcome.message = failureText(response, json);
        return outcome;
    }
    outcome.success = true;
    outcome.link = findLink(*json);
    return outcome;
}

} // namespace kalvora::xcontest
