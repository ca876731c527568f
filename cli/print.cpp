// kalvora-cli print LOGBOOK [--template FILE] --pdf FILE [--flight ID]...: the logbook pages as PDF.
#include <QFileInfo>
#include <QJsonObject>

#include "cli/command.h"
#include "cli/logbookflights.h"
#include "export/printrender.h"
#include "export/printtemplate.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/objectcontext.h"

namespace kalvora::cli {
namespace {

int runPrint(const QStringList& arguments)
{
    QStringList args = arguments;
    QStringList templates;
    QStringList pdfs;
    QStringList ids;
    if (!takeOption(args, QStringLiteral("--template"), templates) || !takeOption(args, QStringLiteral("--pdf"), pdfs) ||
        !takeOption(args, QStringLiteral("--flight"), ids))
        return 2;
    if (args.size() != 1 || pdfs.size() != 1 || templates.size() > 1) {
        printError(QStringLiteral("usage: kalvora-cli print LOGBOOK [--template FILE] --pdf FILE [--flight ID]..."));
        return 2;
    }
    QString printTemplate;
    if (!templates.isEmpty()) {
        Result<QString> read = readPrintTemplate(templates.first());
        if (!read) {
            printError(QString::fromStdString(read.error()).simplified());
            return 1;
        }
        printTemplate = *read;
    } else if (const auto builtIn = builtInPrintTemplate()) {
        printTemplate = *builtIn;
    }
    const ChosenFlights chosen = openFlights(args.first(), ids);
    if (chosen.failure)
        return chosen.failure;
    ObjectContext& context = chosen.context();
    const QList<Flight*>& flights = chosen.flights;
    if (flights.isEmpty()) {
        printError(QStringLiteral("You have no flights selected to print."));
        return 1;
    }
    std::optional<PrintPilot> pilot;
    const QList<Pilot*> pilots = context.fetch<Pilot>();
    if (!pilots.isEmpty())
        pilot = printPilot(*pilots.first());
    QList<PrintFlight> values;
    for (const Flight* flight : flights)
        values << printFlight(*flight);
    const Result<PrintDocument> document = expandPrintTemplate(printTemplate, pilot, values);
    if (!document) {
        printError(QStringLiteral("Error while printing. %1").arg(QString::fromStdString(document.error())));
        return 1;
    }
    const Result<int> pages = writePrintPdf(*document, pdfs.first());
    if (!pages) {
        printError(QStringLiteral("Error while printing. %1").arg(QString::fromStdString(pages.error())));
        return 1;
    }
    printJson(QJsonObject{{"file", QFileInfo(pdfs.first()).absoluteFilePath()},
                          {"flights", static_cast<qint64>(values.size())},
                          {"pages", *pages}});
    return 0;
}

const RegisterCommand printCommand{{"print", "print LOGBOOK [--template FILE] --pdf FILE [--flight ID]...",
                                    "print the flights (all, or the given ones) through the HTML template as PDF",
                                    &runPrint}};

} // namespace
} // namespace kalvora::cli
