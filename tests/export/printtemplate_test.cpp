#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "export/printtemplate.h"

namespace kalvora {
namespace {

PrintFlight flightAt(const QString& place)
{
    PrintFlight f;
    f.startLocation = place;
    f.maxVario = 3.456;
    f.distance = 45.9;
    return f;
}

PrintPilot pilot()
{
    PrintPilot p;
    p.firstname = "Anna";
    p.lastname = "Muster";
    p.city = "Bern";
    p.country = "CH";
    return p;
}

QString page(const QString& tmpl, const std::optional<PrintPilot>& who, const QList<PrintFlight>& flights)
{
    const Result<PrintDocument> document = expandPrintTemplate(tmpl, who, flights);
    EXPECT_TRUE(document) << (document ? "" : document.error());
    return document && document->pages.size() == 1 ? document->pages.first() : QString("<not one page>");
}

const QString kBlock = "@@@@@flight_data_start@@@@@\n<p>@@@@@flight_start_location@@@@@</p>\n@@@@@flight_data_end@@@@@";

TEST(PrintTemplate, RepeatsTheBlockPerFlightAndFillsThePilotOnce)
{
    const QString tmpl = "<h1>@@@@@pilot_firstname@@@@@ @@@@@pilot_lastname@@@@@</h1>\n"
                         "<i>@@@@@pilot_city@@@@@</i>\n<i>@@@@@pilot_city@@@@@</i>\n" +
                         kBlock + "\n<end>";
    EXPECT_EQ(page(tmpl, pilot(), {flightAt("Fiesch"), flightAt("Grindelwald"), flightAt("Niesen")}),
              "<h1>Anna Muster</h1>\n<i>Bern</i>\n<i>Bern</i>\n<p>Fiesch</p>\n<p>Grindelwald</p>\n<p>Niesen</p>\n"
              "<end>\n");
}

TEST(PrintTemplate, EscapesEveryValueAndBreaksNoteLines)
{
    PrintFlight f = flightAt("<b>Rock & Roll</b>");
    f.notice = "Thermal \"strong\"\nlanded <safe>\r\nok";
    PrintPilot p = pilot();
    p.firstname = "<script>x</script>";
    const QString tmpl = "@@@@@pilot_firstname@@@@@\n@@@@@flight_data_start@@@@@\n"
                         "@@@@@flight_start_location@@@@@|@@@@@flight_notice@@@@@\n@@@@@flight_data_end@@@@@";
    EXPECT_EQ(page(tmpl, p, {f}), "&lt;script&gt;x&lt;/script&gt;\n"
                                  "&lt;b&gt;Rock &amp; Roll&lt;/b&gt;|Thermal &quot;strong&quot;<br>landed "
                                  "&lt;safe&gt;<br>ok\n");
    // A value that looks like a token is text, not a token.
    p.firstname = "@@@@@flight_start_location@@@@@";
    EXPECT_EQ(page("@@@@@pilot_firstname@@@@@\n" + kBlock, p, {f}),
              "@@@@@flight_start_location@@@@@\n<p>&lt;b&gt;Rock &amp; Roll&lt;/b&gt;</p>\n");
}

TEST(PrintTemplate, MissingValuesPrintEmpty)
{
    const QString tmpl = "[@@@@@pilot_city@@@@@][@@@@@pilot_birthday@@@@@][@@@@@pikot_country@@@@@]"
                         "[@@@@@pilot_country@@@@@]\n@@@@@flight_data_start@@@@@\n"
                         "[@@@@@flight_distance@@@@@][@@@@@flight_date@@@@@][@@@@@flight_unknown@@@@@]"
                         "[@@@@@flight_altitude_max@@@@@]\n@@@@@flight_data_end@@@@@";
    PrintPilot withoutCity = pilot();
    withoutCity.city.clear();
    PrintFlight uncomputed;
    EXPECT_EQ(page(tmpl, withoutCity, {uncomputed}), "[][][CH][CH]\n[][][][0]\n");
    // No pilot record at all: every pilot token empty.
    EXPECT_EQ(page(tmpl, std::nullopt, {uncomputed}), "[][][][]\n[][][][0]\n");
}

TEST(PrintTemplate, NumbersAreCutOrRoundedAsTheTokensSay)
{
    PrintFlight f = flightAt("x");
    f.maxAltitude = 2345.9;
    f.minVario = -2.26;
    f.maxSpeed = 41.236;
    const QString tmpl = "@@@@@flight_data_start@@@@@\n@@@@@flight_vario_max@@@@@ @@@@@flight_distance@@@@@ "
                         "@@@@@flight_altitude_max@@@@@ @@@@@flight_vario_min@@@@@ @@@@@flight_speed_max@@@@@\n"
                         "@@@@@flight_data_end@@@@@";
    EXPECT_EQ(page(tmpl, pilot(), {f}), "3.5 45 2345 -2.3 41.24\n");
}

TEST(PrintTemplate, DatesAndTimesPrintAsStoredWhateverTheComputersZone)
{
    PrintFlight f;
    f.date = QDate(2024, 6, 2);
    f.startUTC = QTime(10, 0);
    f.startLocal = QTime(12, 0);
    PrintPilot p = pilot();
    p.birth = QDate(1980, 3, 1);
    const QString tmpl = "@@@@@pilot_birthday@@@@@\n@@@@@flight_data_start@@@@@\n"
                         "@@@@@flight_date@@@@@ @@@@@flight_start_utctime@@@@@ @@@@@flight_start_localtime@@@@@\n"
                         "@@@@@flight_data_end@@@@@";
    const QLocale locale;
    EXPECT_EQ(page(tmpl, p, {f}), locale.toString(QDate(1980, 3, 1), QLocale::LongFormat) + "\n" +
                                      locale.toString(QDate(2024, 6, 2), QLocale::ShortFormat) + " " +
                                      locale.toString(QTime(10, 0), QLocale::ShortFormat) + " " +
                                      locale.toString(QTime(12, 0), QLocale::ShortFormat) + "\n");
}

TEST(PrintTemplate, BrokenTemplatesAreRefusedWithAReason)
{
    const struct
    {
        const char* what;
        QString tmpl;
    } cases[] = {
        {"empty", ""},
        {"unclosed pilot token", "@@@@@pilot_city\n" + kBlock},
        {"unclosed flight token", "@@@@@flight_data_start@@@@@\n@@@@@flight_date\n@@@@@flight_data_end@@@@@"},
        {"unknown pilot token", "@@@@@pilot_nickname@@@@@\n" + kBlock},
        {"no markers", "<p>@@@@@flight_date@@@@@</p>"},
        {"no end marker", "@@@@@flight_data_start@@@@@\n<p>x</p>"},
        {"markers reversed", "@@@@@flight_data_end@@@@@\n<p>x</p>\n@@@@@flight_data_start@@@@@"},
        {"empty block", "@@@@@flight_data_start@@@@@\n@@@@@flight_data_end@@@@@"},
    };
    for (const auto& c : cases) {
        const Result<PrintDocument> document = expandPrintTemplate(c.tmpl, pilot(), {flightAt("x")});
        EXPECT_FALSE(document) << c.what;
        if (!document) {
            EXPECT_FALSE(document.error().empty()) << c.what;
        }
    }
}

TEST(PrintTemplate, TheFlightCountTokenSplitsThePagesAndPageLinesStayAsWritten)
{
    const QString tmpl = "<!-- @@@@@page_flight_count@@@@@2@@@@@ @@@@@page_width@@@@@1200@@@@@ -->\n"
                         "<h1>@@@@@pilot_lastname@@@@@</h1>\n" + kBlock + "\n</html>";
    QList<PrintFlight> flights;
    for (const char* place : {"A", "B", "C", "D", "E"})
        flights << flightAt(place);
    const Result<PrintDocument> document = expandPrintTemplate(tmpl, pilot(), flights);
    ASSERT_TRUE(document) << document.error();
    EXPECT_EQ(document->flightsPerPage, 2);
    EXPECT_EQ(document->pageWidth, 1200);
    const QString head = "<!-- @@@@@page_flight_count@@@@@2@@@@@ @@@@@page_width@@@@@1200@@@@@ -->\n<h1>Muster</h1>\n";
    EXPECT_EQ(document->pages, (QStringList{head + "<p>A</p>\n<p>B</p>\n</html>\n", head + "<p>C</p>\n<p>D</p>\n</html>\n",
                                            head + "<p>E</p>\n</html>\n"}));

    // Without the token all flights share one text, to be broken where the pages fill.
    const Result<PrintDocument> single = expandPrintTemplate("x\n" + kBlock, pilot(), flights);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->pages.size(), 1);
    EXPECT_EQ(single->flightsPerPage, 0);
}

TEST(PrintTemplate, TheBuiltInTemplateFillsWithoutError)
{
    const std::optional<QString> builtIn = builtInPrintTemplate();
    ASSERT_TRUE(builtIn);
    QList<PrintFlight> flights(30, flightAt("Fiesch"));
    const Result<PrintDocument> document = expandPrintTemplate(*builtIn, pilot(), flights);
    ASSERT_TRUE(document) << document.error();
    EXPECT_GT(document->flightsPerPage, 0);
    EXPECT_EQ(document->pages.size(), (30 + document->flightsPerPage - 1) / document->flightsPerPage);
    EXPECT_FALSE(document->pages.first().contains("@@@@@pilot"));
    EXPECT_FALSE(document->pages.first().contains("@@@@@flight_"));
}

} // namespace
} // namespace kalvora
