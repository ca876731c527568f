#include "ui/export/logbookoutput.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QThread>
#include <QToolBar>

#include "export/kmlexport.h"
#include "export/printrender.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "ui/contests/dhvxcsheet.h"
#include "ui/contests/xcontestsheet.h"
#include "ui/export/exportflightsheet.h"
#include "ui/export/outputinteraction.h"
#include "ui/export/sortflightsheet.h"
#include "ui/flightdetailpane.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/stats/flightstatswindowcontroller.h"
#include "ui/longtimesheet.h"
#include "ui/toolbarrules.h"

namespace kalvora {

namespace {

QAction* makeAction(QObject* parent, const QString& text, const char* name, int tag)
{
    auto* action = new QAction(text, parent);
    action->setObjectName(QLatin1String(name));
    action->setProperty("tag", tag);
    return action;
}

QString failureList(const QList<IGCExportFailure>& failed)
{
    QStringList lines;
    for (const IGCExportFailure& failure : failed)
        lines << QStringLiteral("%1: %2").arg(failure.label, failure.reason);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

LogBookOutput::LogBookOutput(LogBookWindowController* window, std::shared_ptr<OutputInteraction> interaction)
    : QObject(window), m_window(window), m_interaction(std::move(interaction))
{
    setObjectName(QStringLiteral("logBookOutput"));
    if (!m_interaction)
        m_interaction = std::make_shared<DesktopOutputInteraction>();
    m_sheet = new ExportFlightSheet(window);
    m_progress = new LongTimeSheet(window);
    m_progress->setObjectName(QStringLiteral("exportProgress"));
    m_cancel = m_progress->cancelFlag();
    connect(m_sheet, &ExportFlightSheet::igcChosen, this, &LogBookOutput::exportIGCFlight);
    connect(m_sheet, &ExportFlightSheet::dhvxcChosen, this, [this] { submitToContest(Contest::DHVXC); });
    connect(m_sheet, &ExportFlightSheet::xcontestChosen, this, [this] { submitToContest(Contest::XContest); });
    m_sortSheet = new SortFlightSheet(window);
    connect(m_sortSheet, &SortFlightSheet::sortTypeChosen, window, &LogBookWindowController::sortFlights);

    const int igcSelection = static_cast<int>(ToolbarTag::NeedsIGCSelection);
    const int always = static_cast<int>(ToolbarTag::Always);
    m_exportAction = makeAction(this, tr("Export"), "exportFlight", igcSelection);
    m_exportAction->setToolTip(tr("Export the selected flights"));
    connect(m_exportAction, &QAction::triggered, this, &LogBookOutput::exportFlight);
    m_exportIGCAction = makeAction(this, tr("Export &IGC File(s)…"), "exportIGC", always);
    connect(m_exportIGCAction, &QAction::triggered, this, &LogBookOutput::exportIGCFlight);
    m_printAction = makeAction(this, tr("&Print…"), "printFlights", always);
    m_printAction->setShortcut(QKeySequence::Print);
    connect(m_printAction, &QAction::triggered, this, &LogBookOutput::printDocument);
    m_exportPdfAction = makeAction(this, tr("Export P&DF…"), "exportPdf", always);
    connect(m_exportPdfAction, &QAction::triggered, this, &LogBookOutput::exportPdf);
    m_statisticsAction = makeAction(this, tr("&Statistics"), "openFlightStats", always);
    connect(m_statisticsAction, &QAction::triggered, this, &LogBookOutput::openFlightStatsWindow);
    // The statistics window belongs to this logbook window and goes when it closes.
    connect(window, &LogBookWindowController::windowClosing, this, [this] {
        if (m_statistics) {
            m_statistics->hide();
            m_statistics->deleteLater();
        }
    });
    connect(window, &LogBookWindowController::googleEarthRequested, this, &LogBookOutput::googleEarth);

    // Beside the window's own items, under its tag rules.
    if (auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolbar"))) {
        QAction* toolbarPrint = makeAction(this, tr("Print"), "printToolbarItem", static_cast<int>(ToolbarTag::NeedsFlights));
        connect(toolbarPrint, &QAction::triggered, this, &LogBookOutput::printDocument);
        m_sortAction = makeAction(this, tr("Sort"), "changeSort", static_cast<int>(ToolbarTag::NeedsFlights));
        connect(m_sortAction, &QAction::triggered, m_sortSheet, qOverload<>(&QDialog::open));
        toolbar->addAction(m_sortAction);
        toolbar->addAction(m_exportAction);
        toolbar->addAction(toolbarPrint);
    }
    window->updateToolbarItems();
}

LogBookOutput::~LogBookOutput()
{
    // A running export stops before its next flight and is waited for, so it never outlives the window.
    m_cancel->store(true);
    if (QThread* worker = findChild<QThread*>())
        worker->wait();
}

FlightStatsWindowController* LogBookOutput::statisticsWindow() const
{
    return m_statistics.data();
}

void LogBookOutput::openFlightStatsWindow()
{
    if (!m_statistics)
        m_statistics = new FlightStatsWindowController(m_window, m_window);
    m_statistics->show();
    m_statistics->raise();
    m_statistics->activateWindow();
}

void LogBookOutput::alert(const QString& message, const QString& informative, const QString& details)
{
    m_interaction->showAlert(m_window, message, informative, details);
}

void LogBookOutput::exportFlight()
{
    const int selected = static_cast<int>(m_window->selectedFlights().size());
    if (selected == 0) {
        alert(tr("You have no flights selected to export."), QString());
        return;
    }
    m_sheet->begin(selected);
}

void LogBookOutput::exportIGCFlight()
{
    if (m_exporting)
        return;
    if (m_window->selectedFlights().isEmpty()) {
        alert(tr("You have no flights selected to export."), QString());
        return;
    }
    m_interaction->chooseExportFolder(m_window, [this](std::optional<QString> folder) {
        if (!folder || m_exporting)
            return;
        // The records are read here: the worker touches no stored object.
        QList<IGCExportItem> items;
        for (const Flight* flight : m_window->selectedFlights())
            items << igcExportItem(*flight);
        if (items.isEmpty())
            return;
        m_exporting = true;
        m_progress->begin(tr("Exporting track(s)..."), static_cast<int>(items.size()));
        const std::shared_ptr<std::atomic<bool>> cancel = m_progress->cancelFlag();
        QPointer<LongTimeSheet> progress = m_progress;
        QThread* worker = QThread::create([this, folder = *folder, items, cancel, progress] {
            const IGCExportResult result = exportIGCFiles(folder, items, cancel.get(), [progress](int done) {
                QMetaObject::invokeMethod(progress, [progress, done] {
                    if (progress)
                        progress->setProgress(done);
                }, Qt::QueuedConnection);
            });
            QMetaObject::invokeMethod(this, [this, result] { exportFinished(result); }, Qt::QueuedConnection);
        });
        worker->setParent(this);
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        worker->start();
    });
}

ContestSheet* LogBookOutput::contestSheet() const
{
    return m_contestSheet.data();
}

void LogBookOutput::submitToContest(Contest contest)
{
    const QList<Flight*> selected = m_window->selectedFlights();
    if (selected.size() != 1 || m_contestSheet)
        return;
    ObjectContext* context = m_window->managedObjectContext();
    if (contest == Contest::DHVXC)
        m_contestSheet = new DHVXCSheet(context, selected, m_contestServices, m_window);
    else
        m_contestSheet = new XContestSheet(context, selected, m_contestServices, m_window);
    // The sheet goes when it ends; its worker, if any, is waited for by its destructor.
    connect(m_contestSheet, &QDialog::finished, m_contestSheet, [sheet = m_contestSheet] {
        sheet->hide();
        sheet->deleteLater();
    });
    // The flight's editor shows where it was sent.
    connect(m_contestSheet, &ContestSheet::submissionFinished, this, [this] {
        if (auto* pane = m_window->findChild<FlightDetailPane*>())
            pane->refresh();
    });
    m_contestSheet->open();
}

void LogBookOutput::exportFinished(const IGCExportResult& result)
{
    m_exporting = false;
    m_progress->end();
    if (!result.failed.isEmpty())
        alert(tr("Some flights were not exported."),
              tr("%n flight(s) could not be written; the others were.", nullptr, static_cast<int>(result.failed.size())),
              failureList(result.failed));
    emit igcExportFinished(result);
}

bool LogBookOutput::googleEarth()
{
    const QList<Flight*> selected = m_window->selectedFlights();
    if (selected.isEmpty())
        return false;
    const std::optional<QString> kmlTemplate = builtInKmlTemplate();
    if (!kmlTemplate)
        return false;
    const QByteArray igc = selected.first()->igcData().toLatin1();
    const QString text =
        kmlFromTemplate(*kmlTemplate, getCoordStringForKLM(std::string_view(igc.constData(), size_t(igc.size()))));
    const QString folder = applicationFilesDirectory();
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("tempKLM.kml"));
    const Result<Done> written = writeTextFileAtomically(path, text);
    if (!written) {
        alert(tr("The flight cannot be shown."), QString::fromStdString(written.error()));
        return false;
    }
    m_interaction->openFile(path);
    emit kmlOpened(path);
    return true;
}

std::optional<PrintDocument> LogBookOutput::preparePrint()
{
    const QList<Flight*> selected = m_window->selectedFlights();
    if (selected.isEmpty()) {
        alert(tr("You have no flights selected to print."), QString());
        return std::nullopt;
    }
    QString printTemplate;
    const std::optional<QString> userTemplate = m_templateSource ? m_templateSource() : std::nullopt;
    if (userTemplate) {
        Result<QString> read = readPrintTemplate(*userTemplate);
        if (!read) {
            alert(QString::fromStdString(read.error()), QString());
            return std::nullopt;
        }
        printTemplate = *read;
    } else if (const std::optional<QString> builtIn = builtInPrintTemplate()) {
        printTemplate = *builtIn;
    } else {
        alert(tr("Print template\n\n%1\n\nnot found!\n\n%2").arg(QStringLiteral("PrintTemplate.htm"), tr("missing")),
              QString());
        return std::nullopt;
    }

    std::optional<PrintPilot> pilot;
    if (ObjectContext* context = m_window->managedObjectContext()) {
        const QList<Pilot*> pilots = context->fetch<Pilot>();
        if (!pilots.isEmpty())
            pilot = printPilot(*pilots.first());
    }
    QList<PrintFlight> flights;
    flights.reserve(selected.size());
    for (const Flight* flight : selected)
        flights << printFlight(*flight);
    Result<PrintDocument> document = expandPrintTemplate(printTemplate, pilot, flights);
    if (!document) {
        alert(tr("Error while printing."), QString::fromStdString(document.error()));
        return std::nullopt;
    }
    return std::move(*document);
}

void LogBookOutput::printDocument()
{
    std::optional<PrintDocument> document = preparePrint();
    if (!document)
        return;
    m_interaction->showPrintPreview(m_window, [this, document = std::move(*document)](QPrinter* printer) {
        const Result<int> drawn = renderPrintDocument(document, *printer);
        if (!drawn)
            alert(tr("Error while printing."), QString::fromStdString(drawn.error()));
    });
}

void LogBookOutput::exportPdf()
{
    std::optional<PrintDocument> document = preparePrint();
    if (!document)
        return;
    m_interaction->choosePdfFile(
        m_window, tr("Logbook.pdf"), [this, document = std::move(*document)](std::optional<QString> path) {
            if (!path)
                return;
            const Result<int> written = writePrintPdf(document, *path);
            if (!written) {
                alert(tr("Error while printing."), QString::fromStdString(written.error()));
                return;
            }
            emit pdfWritten(*path);
        });
}

} // namespace kalvora
