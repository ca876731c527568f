#include "ui/waypoints/waypointwindowrules.h"

namespace kalvora {

QStringList countryChoices(const QByteArray& utf8)
{
    const QStringList lines = QString::fromUtf8(utf8).split(QLatin1Char('\n'));
    QStringList choices;
    for (qsizetype i = 1; i < lines.size(); i += 2) {
        QString line = lines[i];
        // A file saved with CR LF keeps its CR before the split point; it is no part of the name.
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        choices << line;
    }
    return choices;
}

QUrl webMapUrl(qint64 latitudeMicro, qint64 longitudeMicro)
{
    return QUrl(
        QStringLiteral("https://www.google.com/maps?q=") +
        QString::asprintf("%f,%f", double(latitudeMicro) / 1000000.0, double(longitudeMicro) / 1000000.0));
}

} // namespace kalvora
