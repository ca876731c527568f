#include <QAction>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include "export/igcexport.h"
#include "logbookfixture.h"
#include "model/pilot.h"
#include "ui/export/exportflightsheet.h"
#include "ui/export/logbookoutput.h"
#include "ui/export/outputinteraction.h"
#include "ui/export/sortflightsheet.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/longtimesheet.h"

namespace kalvora::test {
namespace {

/** Canned answers; records what the window asked and showed. */
class ScriptedOutput final : public OutputInteraction
{
public:
    std::optional<QString> folder;
    std::optional<QString> pdfPath;
    QString printerOutput; ///< the preview "prints" here as PDF
    struct Alert
    {
        QString message, informative, details;
    };
    QList<Alert> alerts;
    QStringList opened;
    int previewPages = -1;

    void chooseExportFolder(QWidget*, std::function<void(std::optional<QString>)> reply) override { reply(folder); }
    void choosePdfFile(QWidget*, const QString&, std::function<void(std::optional<QString>)> reply) override
    {
        reply(pdfPath);
    }
    void showAlert(QWidget*, const QString& message, const QString& informative, const QString& details) override
    {
        alerts.append({message, informative, details});
    }
    void showPrintPreview(QWidget*, std::function<void(QPrinter*)> paint) override
    {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printerOutput);
        paint(&printer);
        previewPages = 1;
    }
    void openFile(const QString& path) override { opened << path; }
};

QString recordFor(int day)
{
    return QStringLiteral("AXXXABC\r\nHFDTE%10624\r\nB1000004630000N00715000EA0123401250\r\n"
                          "B1000604631000N00716000EA0123401300\r\nG4F2A0123456789\r\n")
        .arg(day, 2, 10, QLatin1Char('0'));
}

class OutputWindowTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        // The KML view is written into the application folder: a temporary one here.
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        m_script = std::make_shared<ScriptedOutput>();
        m_script->printerOutput = m_dir.filePath("preview.pdf");
    }

    /** A window over three flights, two with records, all selected. */
    std::unique_ptr<LogBookWindowController> windowWithFlights()
    {
        for (int day = 1; day <= 2; ++day) {
            Flight* flight = addFlight(utc(2024, 6, day, 10, 0), 60);
            flight->setIgcData(recordFor(day));
            flight->setValidIGC(true);
        }
        m_manual = addFlight(utc(2024, 6, 3, 10, 0), 30, 10, QStringLiteral("By hand"));
        auto* pilot = ctx()->insert<Pilot>();
        pilot->setLastname(QStringLiteral("Quistgaard"));
        EXPECT_TRUE(ctx()->save().ok());
        auto window = std::make_unique<LogBookWindowController>(ctx());
        window->windowDidLoad({});
        window->output()->setInteraction(m_script);
        return window;
    }

    static QAction* toolbarItem(LogBookWindowController& window, const char* name)
    {
        for (QAction* a : window.toolbarActions())
            if (a->objectName() == QLatin1String(name))
                return a;
        return nullptr;
    }

    void TearDown() override
    {
        if (m_oldDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", m_oldDataHome);
        LogbookTest::TearDown();
    }

    std::shared_ptr<ScriptedOutput> m_script;
    Flight* m_manual = nullptr;
    QByteArray m_oldDataHome;
};

TEST_F(OutputWindowTest, TheExportSheetWritesTheRecordsAndListsTheFlightsItSkipped)
{
    auto window = windowWithFlights();
    QAction* exportItem = toolbarItem(*window, "exportFlight");
    ASSERT_NE(exportItem, nullptr);
    window->deselectFlights();
    EXPECT_FALSE(exportItem->isEnabled());
    Flight* withRecord = window->flightList().last();
    window->selectFlights({withRecord});
    EXPECT_TRUE(exportItem->isEnabled());
    window->selectFlights(window->flightList());
    // A selection holding a flight without a record cannot be exported from the toolbar...
    EXPECT_FALSE(exportItem->isEnabled());
    // ...but the sheet still handles it when reached otherwise, and says what it skipped.
    const QString folder = m_dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    m_script->folder = folder;
    QSignalSpy finished(window->output(), &LogBookOutput::igcExportFinished);
    window->output()->exportFlight();
    ExportFlightSheet* sheet = window->output()->exportSheet();
    ASSERT_TRUE(sheet->isVisible());
    QTest::mouseClick(sheet->igcButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(window->output()->progressSheet()->isVisible());
    EXPECT_EQ(window->output()->progressSheet()->title(), QStringLiteral("Exporting track(s)..."));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"4614F2A1.igc", "4624F2A1.igc"}));
    QFile exported(QDir(folder).filePath(QStringLiteral("4614F2A1.igc")));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll(), recordFor(1).toLatin1());
    ASSERT_EQ(m_script->alerts.size(), 1);
    EXPECT_TRUE(m_script->alerts.first().details.contains(QStringLiteral("By hand")));

    // Cancelling the sheet, or the folder chooser, writes nothing.
    window->output()->exportFlight();
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cancelExport")), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    m_script->folder.reset();
    window->output()->exportIGCFlight();
    QTest::qWait(50);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
}

TEST_F(OutputWindowTest, GoogleEarthOpensTheFirstSelectedFlightsTrack)
{
    auto window = windowWithFlights();
    EXPECT_FALSE(window->output()->googleEarth()); // nothing selected
    window->selectFlights({window->flightList().last()});
    ASSERT_TRUE(window->output()->googleEarth());
    ASSERT_EQ(m_script->opened.size(), 1);
    EXPECT_EQ(m_script->opened.first(), m_dir.filePath(QStringLiteral("data/Kalvora/tempKLM.kml")));
    QFile kml(m_script->opened.first());
    ASSERT_TRUE(kml.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(kml.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("7.250000,46.500000,1250"))) << text.toStdString();
}

TEST_F(OutputWindowTest, PrintingNeedsASelectionAndDrawsThePreview)
{
    auto window = windowWithFlights();
    window->deselectFlights();
    window->output()->printAction()->trigger();
    ASSERT_EQ(m_script->alerts.size(), 1);
    EXPECT_EQ(m_script->alerts.first().message, QStringLiteral("You have no flights selected to print."));

    window->selectFlights(window->flightList());
    window->output()->printAction()->trigger();
    EXPECT_EQ(m_script->alerts.size(), 1);
    EXPECT_EQ(m_script->previewPages, 1);
    EXPECT_GT(QFile(m_script->printerOutput).size(), 0);

    m_script->pdfPath = m_dir.filePath(QStringLiteral("direct.pdf"));
    QSignalSpy written(window->output(), &LogBookOutput::pdfWritten);
    window->output()->exportPdfAction()->trigger();
    ASSERT_EQ(written.size(), 1);
    EXPECT_GT(QFile(*m_script->pdfPath).size(), 0);

    // A broken template of the user's ends in the print error, with the reason.
    QFile broken(m_dir.filePath(QStringLiteral("broken.htm")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("@@@@@pilot_lastname\n");
    broken.close();
    window->output()->setPrintTemplateSource([&] { return std::optional<QString>(broken.fileName()); });
    window->output()->printAction()->trigger();
    ASSERT_EQ(m_script->alerts.size(), 2);
    EXPECT_EQ(m_script->alerts.last().message, QStringLiteral("Error while printing."));
    EXPECT_FALSE(m_script->alerts.last().informative.isEmpty());
}

TEST_F(OutputWindowTest, TheSortSheetSortsByThePressedTypeAndRemembersIt)
{
    auto window = windowWithFlights();
    window->flightList().first()->setFreeDistance(45);
    window->flightList().last()->setFreeDistance(-2); // still being computed: last
    QAction* sort = toolbarItem(*window, "changeSort");
    ASSERT_NE(sort, nullptr);
    sort->trigger();
    SortFlightSheet* sheet = window->output()->sortSheet();
    ASSERT_TRUE(sheet->isVisible());
    QTest::mouseClick(sheet->button(2), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(window->sortType(), 2);
    EXPECT_EQ(QSettings().value(QStringLiteral("flightSortType")).toInt(), 2);
    const QList<Flight*> listed = window->flightList();
    EXPECT_DOUBLE_EQ(listed.first()->distance(), 45);
    EXPECT_LT(listed.last()->freeDistance(), 0);

    sort->trigger();
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cancelSort")), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(window->sortType(), 2);
}

} // namespace
} // namespace kalvora::test
