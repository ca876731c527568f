// kalvora-cli import LOGBOOK FILE...: the logbook window's IGC import, headless.

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <unistd.h>

#include "cli/command.h"
#include "cli/importsetup.h"
#include "logbook/flightimporter.h"
#include "logbook/igcfolder.h"
#include "logbook/remainingtime.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "model/igcscorepoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::cli {

namespace {

QJsonValue instantJson(const QDateTime& instant)
{
    return instant.isValid() ? QJsonValue(instant.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QJsonValue textJson(const QString& text)
{
    return text.isNull() ? QJsonValue() : QJsonValue(text);
}

/**
 * Asks on the terminal. Sample exchange:
 *   b.igc (2024-06-01 10:00 UTC, 01:10:00) overlaps the flight of 2024-06-01 10:30 UTC (00:45:00).
 *   [i]mport as well, [r]eplace, [s]kip, [c]ancel (capital letter: for all further conflicts)?
 */
class TerminalOverlapQuestion final : public OverlapQuestion
{
public:
    /** True when a question came up but there was no terminal to put it to. */
    bool refused() const { return m_refused; }

    void ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply) override
    {
        // Input from a pipe or file is no pilot's answer: reading it would
        // take whatever comes (or its end) as a choice for the whole run.
        if (!::isatty(STDIN_FILENO)) {
            m_refused = true;
            printError(QStringLiteral("%1 overlaps a flight of the logbook and there is no terminal to ask: "
                                      "pass --overlap import, replace or skip. Nothing was imported.")
                           .arg(QFileInfo(conflict.path).fileName()));
            reply({OverlapChoice::Cancel, true});
            return;
        }
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm 'UTC'");
        printError(QStringLiteral("%1 (%2, %3) overlaps the flight of %4 (%5).")
                       .arg(QFileInfo(conflict.path).fileName(), conflict.fileStartUTC.toString(format),
                            durationString(conflict.fileFlightTimeS), conflict.flightStartUTC.toString(format),
                            durationString(conflict.flightStartUTC.secsTo(conflict.flightLandingUTC))));
        for (;;) {
            std::fputs("[i]mport as well, [r]eplace, [s]kip, [c]ancel (capital letter: for all further conflicts)? ",
                       stderr);
            std::fflush(stderr);
            std::string line;
            if (!std::getline(std::cin, line)) {
                reply({OverlapChoice::Cancel, false});
                return;
            }
            const QString answer = QString::fromStdString(line).trimmed();
            if (answer.size() != 1)
                continue;
            const QChar c = answer.front();
            const bool all = c.isUpper();
            switch (c.toLower().unicode()) {
            case 'i':
                reply({OverlapChoice::ImportAsWell, all});
                return;
            case 'r':
                reply({OverlapChoice::Replace, all});
                return;
            case 's':
                reply({OverlapChoice::Skip, all});
                return;
            case 'c':
                reply({OverlapChoice::Cancel, all});
                return;
            default:
                break;
            }
        }
    }

private:
    bool m_refused = false;
};

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted = true;
}

/**
 * "Imported 120 of 2000 files, about 4 minutes left" on standard error, at
 * most once a second and once at the end.
 */
class ProgressPrinter
{
public:
    void started(int total)
    {
        m_total = total;
        m_clock.start();
        m_lastPrint = -1000;
    }
    void changed(int done)
    {
        if (m_clock.elapsed() - m_lastPrint < 1000 && done < m_total)
            return;
        m_lastPrint = m_clock.elapsed();
        std::fprintf(stderr, "%s\n",
                     qPrintable(QStringLiteral("Imported %1 of %2 files, %3")
                                    .arg(done)
                                    .arg(m_total)
                                    .arg(remainingTimeText(m_clock.elapsed(), done, m_total))));
        std::fflush(stderr);
    }

private:
    QElapsedTimer m_clock;
    qint64 m_lastPrint = 0;
    int m_total = 0;
};

int runImport(const QStringList& args)
{
    QStringList files;
    QString overlap = QStringLiteral("ask");
    bool offline = false;
    bool progress = ::isatty(STDERR_FILENO) != 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--offline")) {
            offline = true;
        } else if (arg == QLatin1String("--progress")) {
            progress = true;
        } else if (arg == QLatin1String("--overlap") && i + 1 < args.size()) {
            overlap = args[++i];
        } else if (arg.startsWith(QLatin1String("--overlap="))) {
            overlap = arg.mid(10);
        } else if (arg.startsWith(QLatin1String("--"))) {
            printError(QStringLiteral("Unknown option %1").arg(arg));
            return 2;
        } else {
            files.append(arg);
        }
    }
    const QStringList choices{"ask", "import", "replace", "skip"};
    if (files.size() < 2 || !choices.contains(overlap)) {
        printError(QStringLiteral(
            "Usage: kalvora-cli import LOGBOOK FILE|FOLDER... [--overlap ask|import|replace|skip] [--offline] "
            "[--progress]"));
        return 2;
    }
    const QString logbookPath = files.takeFirst();
    // Folders are searched for recordings at any depth; files stay as given.
    const bool hasFolders =
        std::any_of(files.cbegin(), files.cend(), [](const QString& path) { return QFileInfo(path).isDir(); });
    files = expandIGCFolders(files);
    if (hasFolders)
        printError(QStringLiteral("Found %1 IGC file(s).").arg(files.size()));

    std::optional<ImportSetup> setup =
        openImportSetup(logbookPath, PersistentStore::OpenMode::CreateIfMissing, offline);
    if (!setup)
        return 1;
    PersistentStore& logbook = *setup->logbook;

    std::unique_ptr<OverlapQuestion> question;
    TerminalOverlapQuestion* terminal = nullptr;
    if (overlap == QLatin1String("ask"))
        question = std::unique_ptr<OverlapQuestion>(terminal = new TerminalOverlapQuestion);
    else if (overlap == QLatin1String("import"))
        question = std::make_unique<FixedOverlapAnswer>(OverlapChoice::ImportAsWell);
    else if (overlap == QLatin1String("replace"))
        question = std::make_unique<FixedOverlapAnswer>(OverlapChoice::Replace);
    else
        question = std::make_unique<FixedOverlapAnswer>(OverlapChoice::Skip);

    ImportSummary summary;
    QHash<ObjectId, QString> fileOfFlight;
    QList<std::pair<ObjectId, QString>> notSaved;
    {
        XCQueue queue(logbook);
        FlightImporter importer(logbook, queue, *question, setup->services());
        ScoredWait wait(queue);
        QObject::connect(&queue, &XCQueue::scoreNotSaved, &queue,
                         [&](const ObjectId& id, const QString& reason) { notSaved.append({id, reason}); });
        ProgressPrinter printer;
        if (progress) {
            QObject::connect(&importer, &FlightImporter::progressStarted, &importer,
                             [&](const QString&, int total) { printer.started(total); });
            QObject::connect(&importer, &FlightImporter::progressChanged, &importer,
                             [&](int done) { printer.changed(done); });
        }
        // Ctrl-C stops before the next file, like the progress sheet's cancel:
        // what is imported stays, and the same command later goes on from there.
        g_interrupted = false;
        auto* previous = std::signal(SIGINT, onInterrupt);
        auto* previousTerm = std::signal(SIGTERM, onInterrupt);
        QTimer interruptWatch;
        QObject::connect(&interruptWatch, &QTimer::timeout, &importer, [&] {
            if (g_interrupted)
                importer.cancel();
        });
        interruptWatch.start(100);
        QList<ObjectId> insertedOrder;
        QObject::connect(&importer, &FlightImporter::flightInserted, &importer,
                         [&](const ObjectId& id) { insertedOrder.append(id); });
        QObject::connect(&importer, &FlightImporter::finished, &importer, [&](const ImportSummary& s) {
            summary = s;
            wait.finished();
        });
        // Flights left unscored by an earlier, interrupted run are scored now too.
        queue.requeueUnscored();
        importer.start(files);
        wait.exec();
        interruptWatch.stop();
        std::signal(SIGINT, previous);
        std::signal(SIGTERM, previousTerm);
        // Files and flights pair up in insertion order.
        for (qsizetype i = 0; i < insertedOrder.size() && i < summary.imported.size(); ++i)
            fileOfFlight.insert(insertedOrder[i], summary.imported[i]);
    }

    QJsonArray flights;
    for (const ObjectId& id : summary.newFlights) {
        auto* flight = qobject_cast<Flight*>(logbook.mainContext()->existingObject(id));
        if (!flight)
            continue;
        QJsonObject json = flightSummaryJson(*flight);
        json.insert(QStringLiteral("file"), fileOfFlight.value(id));
        flights.append(json);
    }
    QJsonArray failed;
    for (const ImportFileFailure& failure : summary.failed)
        failed.append(QJsonObject{{"file", failure.path}, {"reason", failure.reason}});
    // Imported, but its score is not in the file: it is computed again at the next opening.
    for (const auto& [id, reason] : notSaved) {
        failed.append(QJsonObject{
            {"file", fileOfFlight.value(id)},
            {"flight", id.uriString()},
            {"reason", QStringLiteral("The XC score could not be saved: %1 It is computed again when the "
                                      "logbook is next opened.")
                           .arg(reason)}});
    }
    if (!summary.placesMissing.isEmpty())
        printError(QStringLiteral("The place finder did not answer: take-off or landing places are missing "
                                  "for %1 of the files (see placesMissing).")
                       .arg(summary.placesMissing.size()));
    printJson(QJsonObject{
        {"logbook", QFileInfo(logbookPath).absoluteFilePath()},
        {"imported", QJsonArray::fromStringList(summary.imported)},
        {"skipped", QJsonArray::fromStringList(summary.skipped)},
        {"duplicates", QJsonArray::fromStringList(summary.duplicates)},
        {"stopped", summary.stopped},
        {"replaced", summary.replaced},
        {"failed", failed},
        {"cancelled", summary.cancelled},
        {"flights", flights},
        {"placesMissing", QJsonArray::fromStringList(summary.placesMissing)},
    });
    if (terminal && terminal->refused())
        return 2;
    if (summary.stopped)
        return 130;
    return failed.isEmpty() ? 0 : 1;
}

} // namespace

QJsonObject flightSummaryJson(const Flight& flight)
{
    QJsonArray points;
    for (const auto* point : flight.igcScorePoints())
        points.append(QJsonObject{{"lat", point->doubleValue(QStringLiteral("latitude"))},
                                  {"lon", point->doubleValue(QStringLiteral("longitude"))}});
    return QJsonObject{
        {"id", flight.objectId().uriString()},
        {"startUTC", instantJson(flight.startUTC())},
        {"landingUTC", instantJson(flight.landingUTC())},
        {"startLocation", textJson(flight.startLocation())},
        {"landingLocation", textJson(flight.landingLocation())},
        {"utcOffset", flight.utcOffset()},
        {"startAltitude", flight.startAltitude()},
        {"landingAltitude", flight.landingAltitude()},
        {"maxAltitude", flight.maxAltitude()},
        {"minAltitude", flight.minAltitude()},
        {"cummoAltitude", flight.cummoAltitude()},
        {"maxSpeed", flight.maxSpeed()},
        {"meanSpeed", flight.minSpeed()},
        {"maxVario", flight.maxVario()},
        {"minVario", flight.minVario()},
        {"startLatitude", flight.startLatitude()},
        {"startLongitude", flight.startLongitude()},
        {"landingLatitude", flight.landingLatitude()},
        {"landingLongitude", flight.landingLongitude()},
        {"validIGC", flight.validIGC()},
        {"glidertype", flight.glidertype()},
        {"freeDistance", flight.freeDistance()},
        {"flatDistance", flight.flatDistance()},
        {"faiDistance", flight.faiDistance()},
        {"scorePoints", points},
    };
}

static RegisterCommand reg{{"import", "import LOGBOOK FILE|FOLDER... [--overlap ask|import|replace|skip] [--offline] [--progress]",
                            "Import IGC files and folders of them into a logbook (created when missing), score them, "
                            "print a summary; recordings already in it are skipped",
                            &runImport}};

} // namespace kalvora::cli
