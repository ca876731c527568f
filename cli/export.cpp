// kalvora-cli export LOGBOOK --igc DIR [--flight ID]...: the flights' IGC records as files.
// kalvora-cli kml LOGBOOK --flight ID -o FILE: one flight's track as KML.
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "cli/logbookflights.h"
#include "export/igcexport.h"
#include "export/kmlexport.h"
#include "model/flight.h"
#include "store/objectcontext.h"

namespace kalvora::cli {
namespace {

int runExport(const QStringList& arguments)
{
    QStringList args = arguments;
    QStringList folders;
    QStringList ids;
    if (!takeOption(args, QStringLiteral("--igc"), folders) || !takeOption(args, QStringLiteral("--flight"), ids))
        return 2;
    if (args.size() != 1 || folders.size() != 1 || args.first().startsWith(QLatin1String("--"))) {
        printError(QStringLiteral("usage: kalvora-cli export LOGBOOK --igc DIR [--flight ID]..."));
        return 2;
    }
    const QString folder = QFileInfo(folders.first()).absoluteFilePath();
    if (!QFileInfo(folder).isDir()) {
        printError(QStringLiteral("%1: no such folder").arg(folder));
        return 1;
    }
    const ChosenFlights chosen = openFlights(args.first(), ids);
    if (chosen.failure)
        return chosen.failure;
    const QList<Flight*>& flights = chosen.flights;
    QList<IGCExportItem> items;
    for (const Flight* flight : flights)
        items << igcExportItem(*flight);
    const IGCExportResult result = exportIGCFiles(folder, items);

    QJsonArray written;
    for (const IGCExportWritten& file : result.written)
        written.append(QJsonObject{{"id", file.flightId}, {"file", file.path}});
    QJsonArray failed;
    for (const IGCExportFailure& failure : result.failed)
        failed.append(QJsonObject{{"id", failure.flightId}, {"flight", failure.label}, {"reason", failure.reason}});
    printJson(QJsonObject{{"written", written}, {"failed", failed}});
    return result.failed.isEmpty() ? 0 : 1;
}

int runKml(const QStringList& arguments)
{
    QStringList args = arguments;
    QStringList ids;
    QStringList outputs;
    if (!takeOption(args, QStringLiteral("--flight"), ids) || !takeOption(args, QStringLiteral("-o"), outputs) ||
        !takeOption(args, QStringLiteral("--output"), outputs))
        return 2;
    if (args.size() != 1 || ids.size() != 1 || outputs.size() != 1) {
        printError(QStringLiteral("usage: kalvora-cli kml LOGBOOK --flight ID -o FILE"));
        return 2;
    }
    const ChosenFlights chosen = openFlights(args.first(), ids);
    if (chosen.failure)
        return chosen.failure;
    const QList<Flight*>& flights = chosen.flights;
    const QByteArray igc = flights.first()->igcData().toLatin1();
    const Result<QString> kml = kmlOfIGC(std::string_view(igc.constData(), size_t(igc.size())));
    if (!kml) {
        printError(QString::fromStdString(kml.error()));
        return 1;
    }
    const Result<Done> written = writeTextFileAtomically(outputs.first(), *kml);
    if (!written) {
        printError(QStringLiteral("%1: %2").arg(outputs.first(), QString::fromStdString(written.error())));
        return 1;
    }
    const QString coordinates = getCoordStringForKLM(std::string_view(igc.constData(), size_t(igc.size())));
    printJson(QJsonObject{{"file", QFileInfo(outputs.first()).absoluteFilePath()},
                          {"points", static_cast<qint64>(coordinates.count(QLatin1Char('\n')))}});
    return 0;
}

const RegisterCommand exportCommand{
    {"export", "export LOGBOOK --igc DIR [--flight ID]...",
     "write the flights' IGC records (all, or the given ones) into DIR as imported; never replaces a file; "
     "JSON {written, failed}",
     &runExport}};
const RegisterCommand kmlCommand{{"kml", "kml LOGBOOK --flight ID -o FILE",
                                  "write one flight's track as a KML file for Google Earth", &runKml}};

} // namespace
} // namespace kalvora::cli
