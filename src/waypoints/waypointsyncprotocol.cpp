#include "waypoints/waypointsyncprotocol.h"

#include <QXmlStreamReader>

#include <cmath>

#include "model/waypointdata.h"

namespace kalvora {

QByteArray formValue(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

QByteArray credentialFields(const std::optional<QString>& machineIdentity)
{
    return "mac=" + formValue(machineIdentity.value_or(QString())) + "&login=qbxz&password=qbxz";
}

QByteArray downloadBody(const std::optional<QString>& machineIdentity, double lastSync)
{
    const double whole = std::isfinite(lastSync) ? std::trunc(lastSync) : 0.0;
    return credentialFields(machineIdentity) + QByteArray("&lastSync=") + QByteArray::number(whole, 'f', 6);
}

QByteArray uploadBody(const std::optional<QString>& machineIdentity, const QByteArray& waypointFields)
{
    return credentialFields(machineIdentity) + '&' + waypointFields;
}

HttpRequest formRequest(const QUrl& url, const QByteArray& body)
{
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers.emplaceBack("Content-Type", "application/x-www-form-urlencoded");
    request.headers.emplaceBack("Content-Length", QByteArray::number(body.size()));
    request.body = body;
    // The database answers small forms; a slow server must not hold a pass for long.
    request.timeoutMs = 15000;
    return request;
}

UploadAnswer parseUploadAnswer(const QByteArray& answer)
{
    if (answer.contains("ERROR"))
        return {UploadAnswer::Kind::Failed, 0};
    const qsizetype at = answer.indexOf("dbID=");
    if (at < 0)
        return {};
    qsizetype i = at + 5;
    while (i < answer.size() && (answer[i] == ' ' || answer[i] == '\t'))
        ++i;
    const qsizetype start = i;
    if (i < answer.size() && (answer[i] == '-' || answer[i] == '+'))
        ++i;
    const qsizetype digits = i;
    while (i < answer.size() && answer[i] >= '0' && answer[i] <= '9')
        ++i;
    if (i == digits)
        return {};
    bool ok = false;
    const qint64 id = answer.mid(start, i - start).toLongLong(&ok);
    if (!ok)
        return {};
    return {UploadAnswer::Kind::Assigned, id};
}

bool parseDownload(const QByteArray& xml, const std::function<void(const WaypointData&)>& apply)
{
    QXmlStreamReader reader(xml);
    WaypointData record;
    QString value;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (reader.name() == QLatin1String("waypoint"))
                record = WaypointData();
            // The indentation of a pretty-printed answer is not part of the
            // next field's text; without this a name would start with a line break.
            value.clear();
            break;
        case QXmlStreamReader::Characters:
            value += reader.text();
            break;
        case QXmlStreamReader::EndElement:
            if (reader.name() == QLatin1String("waypoints"))
                break;
            if (reader.name() == QLatin1String("waypoint")) {
                apply(record);
                break;
            }
            if (!value.isEmpty())
                record.setField(reader.name().toString(), value);
            value.clear();
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

} // namespace kalvora
