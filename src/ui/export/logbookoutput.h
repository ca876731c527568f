#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>

#include "export/igcexport.h"
#include "export/printtemplate.h"
#include "ui/contests/contestsheet.h"

class QAction;

namespace kalvora {

class ContestSheet;
class ExportFlightSheet;
class FlightStatsWindowController;
class LogBookWindowController;
class LongTimeSheet;
class OutputInteraction;
class SortFlightSheet;

/**
 * What takes the selected flights out of a logbook window: the export sheet and
 * the IGC export, the Google Earth view, printing with preview and the direct
 * PDF export. It adds its items to the window's toolbar (under the window's
 * tag rules) and hands out its actions for the menus, which are always
 * enabled and say so when nothing is selected. GUI thread.
 */
class LogBookOutput final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogBookOutput)

public:
    /** @p window owns this object; without @p interaction the desktop's dialogs are used. */
    explicit LogBookOutput(LogBookWindowController* window, std::shared_ptr<OutputInteraction> interaction = {});
    ~LogBookOutput() override;

    /** Replaces the dialogs and desktop services (tests answer through their own). */
    void setInteraction(std::shared_ptr<OutputInteraction> interaction) { m_interaction = std::move(interaction); }

    /** Where the user's own print template lies when one is chosen; nullopt: the built-in one. */
    using TemplateSource = std::function<std::optional<QString>()>;
    void setPrintTemplateSource(TemplateSource source) { m_templateSource = std::move(source); }

    /** The network, keyring and questions of the contest sheets (tests bring their own). */
    void setContestServices(const ContestSheetServices& services) { m_contestServices = services; }
    /** The DHV-XC or XContest sheet while one is open; nullptr otherwise. */
    [[nodiscard]] ContestSheet* contestSheet() const;

    [[nodiscard]] QAction* exportAction() const { return m_exportAction; }
    [[nodiscard]] QAction* exportIGCAction() const { return m_exportIGCAction; }
    [[nodiscard]] QAction* printAction() const { return m_printAction; }
    [[nodiscard]] QAction* exportPdfAction() const { return m_exportPdfAction; }
    [[nodiscard]] QAction* statisticsAction() const { return m_statisticsAction; }
    [[nodiscard]] ExportFlightSheet* exportSheet() const { return m_sheet; }
    [[nodiscard]] SortFlightSheet* sortSheet() const { return m_sortSheet; }
    [[nodiscard]] QAction* sortAction() const { return m_sortAction; }
    /** The statistics window while it is open; nullptr otherwise. */
    [[nodiscard]] FlightStatsWindowController* statisticsWindow() const;
    [[nodiscard]] LongTimeSheet* progressSheet() const { return m_progress; }

    /** Shows the export sheet. */
    void exportFlight();
    /** Folder chooser, then the IGC files of the selected flights on a worker thread. */
    void exportIGCFlight();
    /** Opens the DHV-XC ("DHVXC") or XContest ("XC") sheet for the one selected flight. */
    void submitToContest(kalvora::Contest contest);
    /** Writes the KML of the first selected flight and opens it; false when nothing was written. */
    bool googleEarth();
    /** The print preview of the selected flights. */
    void printDocument();
    /** The selected flights as a PDF file chosen in a save dialog. */
    void exportPdf();

    /** Opens the statistics window of this logbook window, or brings it to the front. */
    void openFlightStatsWindow();

    /** The filled print template of the selected flights, or the alert's reason (shown already). */
    [[nodiscard]] std::optional<PrintDocument> preparePrint();

signals:
    /** An IGC export ended (after its alert, if any, was shown). */
    void igcExportFinished(const kalvora::IGCExportResult& result);
    /** The KML file was written and handed to the desktop. */
    void kmlOpened(const QString& path);
    /** The PDF file was written. */
    void pdfWritten(const QString& path);

private:
    void alert(const QString& message, const QString& informative, const QString& details = {});
    void exportFinished(const IGCExportResult& result);

    LogBookWindowController* m_window;
    std::shared_ptr<OutputInteraction> m_interaction;
    TemplateSource m_templateSource;
    ExportFlightSheet* m_sheet = nullptr;
    SortFlightSheet* m_sortSheet = nullptr;
    QAction* m_sortAction = nullptr;
    LongTimeSheet* m_progress = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_exportIGCAction = nullptr;
    QAction* m_printAction = nullptr;
    QAction* m_exportPdfAction = nullptr;
    QAction* m_statisticsAction = nullptr;
    QPointer<FlightStatsWindowController> m_statistics;
    ContestSheetServices m_contestServices;
    QPointer<ContestSheet> m_contestSheet;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    bool m_exporting = false;
};

} // namespace kalvora
