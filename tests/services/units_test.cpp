#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "model/settings.h"
#include "services/displayconverters.h"
#include "services/settingsservice.h"
#include "services/unitformatters.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

class SettingsCheckTest : public ::testing::Test
{
protected:
    void TearDown() override { Settings::setCurrentUnits(std::nullopt); }
    QString path() const { return m_dir.filePath(QStringLiteral("Kalvora.storedata")); }
    QTemporaryDir m_dir;
};

TEST_F(SettingsCheckTest, FirstStartChoosesUnitsFromTheLocaleOnce)
{
    struct Case
    {
        QLocale locale;
        int index;
        const char *vario, *altitude, *speed, *distance;
    };
    const Case cases[] = {{QLocale(QLocale::German, QLocale::Germany), 0, "m/s", "m", "km/h", "km"},
                          {QLocale(QLocale::English, QLocale::UnitedStates), 1, "fpm", "ft", "mph", "mil"}};
    for (const Case& c : cases) {
        QFile::remove(path());
        QString uri;
        {
            auto store = PersistentStore::open(path(), ObjectModel::global());
            ASSERT_TRUE(store.ok());
            Settings* s = fetchOrCreateSettings(*(*store)->mainContext());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->varioUnitIndex(), -1);
            EXPECT_EQ(s->xcPointsType(), 0);
            QSignalSpy posted(&NotificationCenter::instance(), &NotificationCenter::notified);
            EXPECT_TRUE(checkSettings(*s, c.locale));
            ASSERT_EQ(posted.count(), 1);
            EXPECT_EQ(posted.at(0).at(0).toString(), QStringLiteral("KalvoraSettingsUnitTypeChanged"));
            EXPECT_EQ(Settings::current()->altitudeUnitIndex, c.index);
            Settings::setCurrent(nullptr);
        }
        // The choice was saved; a later start keeps it (even in another locale) and posts again.
        auto store = PersistentStore::open(path(), ObjectModel::global());
        ASSERT_TRUE(store.ok());
        Settings* s = fetchOrCreateSettings(*(*store)->mainContext());
        EXPECT_EQ(*(*store)->mainContext()->count(FetchRequest{QStringLiteral("Settings"), {}, {}, 0}), 1);
        EXPECT_EQ(s->varioUnitIndex(), c.index);
        EXPECT_EQ(s->varioUnitString(), QString::fromLatin1(c.vario));
        EXPECT_EQ(s->altitudeUnitString(), QString::fromLatin1(c.altitude));
        EXPECT_EQ(s->speedUnitString(), QString::fromLatin1(c.speed));
        EXPECT_EQ(s->distanceUnitString(), QString::fromLatin1(c.distance));
        QSignalSpy posted(&NotificationCenter::instance(), &NotificationCenter::notified);
        EXPECT_FALSE(checkSettings(*s, QLocale(QLocale::French, QLocale::France)));
        EXPECT_EQ(posted.count(), 1);
        EXPECT_EQ(s->varioUnitIndex(), c.index);
        // Later changes of the record reach every formatter.
        s->chooseSpeedUnit(2);
        EXPECT_EQ(SpeedFormatter().unitString(), QStringLiteral("kn"));
        EXPECT_EQ(posted.count(), 1); // unit changes post nothing
        s->setXcPointsType(1);
        ASSERT_EQ(posted.count(), 2);
        EXPECT_EQ(posted.at(1).at(0).toString(), QStringLiteral("KalvoraSettingsXCPointsTypeChanged"));
        Settings::setCurrent(nullptr);
    }
}

TEST(UnitFormatters, ConvertWithTheirFactorsAndStyle)
{
    const NumberStyle raw{0, 9, false};
    AltitudeFormatter altitude(raw, QLocale::c());
    altitude.setUnitIndex(1);
    EXPECT_EQ(altitude.stringForValue(1000), QStringLiteral("3280.839895013"));
    EXPECT_NEAR(*altitude.valueForString(QStringLiteral("3281")), 1000.0488, 5e-5);
    EXPECT_EQ(altitude.unitString(), QStringLiteral("ft"));

    SpeedFormatter speed(raw, QLocale::c());
    speed.setUnitIndex(2);
    EXPECT_EQ(speed.stringForValue(100), QStringLiteral("53.9956803"));
    speed.setUnitIndex(1);
    EXPECT_EQ(speed.stringForValue(100), QStringLiteral("62.1371192"));
    speed.setUnitIndex(7); // unknown index: unchanged
    EXPECT_EQ(speed.stringForValue(100), QStringLiteral("100"));

    DistanceFormatter distance(raw, QLocale::c());
    distance.setUnitIndex(1);
    EXPECT_EQ(distance.stringForValue(100), QStringLiteral("62.14"));
    EXPECT_NEAR(*distance.valueForString(QStringLiteral("62.14")), 100.0, 1e-9);

    VarioFormatter vario(NumberStyle{1, 1, false}, QLocale::c());
    vario.setUnitIndex(1);
    EXPECT_EQ(vario.stringForValue(1), QStringLiteral("196.9"));
    vario.setUnitIndex(0);
    EXPECT_EQ(vario.stringForValue(-2.24), QStringLiteral("-2.2"));

    // Text the base style cannot read is refused before any conversion.
    for (const char* bad : {"", "  ", "abc", "12abc", "1.2.3"})
        EXPECT_FALSE(altitude.valueForString(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(UnitFormatters, FollowTheCurrentSettingsAndTheLocale)
{
    Settings::setCurrentUnits(std::nullopt);
    AltitudeFormatter altitude(NumberStyle{0, 0, true}, QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(altitude.stringForValue(1234.4), QStringLiteral("1.234"));
    EXPECT_EQ(*altitude.valueForString(QStringLiteral("1.500")), 1500.0);
    Settings::setCurrentUnits(UnitSettings{1, 0, 0, 0, 0});
    EXPECT_EQ(altitude.stringForValue(1000), QStringLiteral("3.281"));
    Settings::setCurrentUnits(std::nullopt);
    EXPECT_EQ(formatNumber(1.5, NumberStyle{2, 2, false}, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("1,50"));
    EXPECT_EQ(formatNumber(-0.0001, NumberStyle{0, 2, false}, QLocale::c()), QStringLiteral("0"));
}

TEST(DisplayConverters, CoordinatesDistancesTimesDates)
{
    EXPECT_EQ(display::latLonToString(47123456, QLocale::c()), QStringLiteral("47.12346"));
    EXPECT_EQ(display::latLonToString(-500000, QLocale::c()), QStringLiteral("-0.50000"));
    EXPECT_EQ(display::latLonFromString(QStringLiteral("11.5"), QLocale::c()), 11500000);
    EXPECT_EQ(display::latLonFromString(QStringLiteral("0.000001"), QLocale::c()), 1);
    EXPECT_EQ(display::latLonFromString(QStringLiteral("-12.9999999"), QLocale::c()), -12999999);
    EXPECT_FALSE(display::latLonFromString(QStringLiteral("5000"), QLocale::c()).has_value());
    EXPECT_FALSE(display::latLonFromString(QStringLiteral("north"), QLocale::c()).has_value());

    struct Case
    {
        double km;
        int unit;
        const char* text;
    };
    for (const Case& c : {Case{-2, 0, "calculating"}, Case{-1, 0, "calculating"}, Case{-0.5, 0, "n/a"},
                          Case{0, 0, "n/a"}, Case{0.7, 0, "n/a"}, Case{12.5, 0, "12.50"}, Case{100, 1, "62.14"}})
        EXPECT_EQ(display::distanceTextFieldString(c.km, c.unit), QString::fromLatin1(c.text)) << c.km;

    const QString shown = display::timeIntervalToString(3600 * 24 * 3 + 13 * 3600 + 5 * 60 + 9, QLocale::c());
    EXPECT_TRUE(shown.contains(QStringLiteral("13:05:09"))) << qPrintable(shown);
    EXPECT_EQ(display::timeIntervalFromString(shown, QLocale::c()), 13 * 3600 + 5 * 60 + 9);
    EXPECT_FALSE(display::timeIntervalFromString(QStringLiteral("lunch"), QLocale::c()).has_value());

    EXPECT_EQ(display::dateToDouble(display::doubleToDate(1700000000.25)), 1700000000.25);
    EXPECT_EQ(display::dateToString(QDateTime()), QString());
    EXPECT_EQ(display::boolToColor(true), (display::Rgba{0, 0.8, 0, 1}));
    EXPECT_EQ(display::boolToColor(false), (display::Rgba{0, 0, 0, 1}));
}

TEST(CurrencyNumberFormatter, ReadsWhatUsersTypeLeniently)
{
    CurrencyNumberFormatter euro(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("€"));
    struct Case
    {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {{"12,50", 12.5},    {"12,50 €", 12.5}, {"\t 12,50\t", 12.5}, {"€12,50", 12.5},
                          {"-3", -3.0},       {"1.234,5 €", 1234.5}, {"", std::nullopt}, {"zwölf", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(euro.valueForString(QString::fromUtf8(c.text)), c.value) << c.text;
    EXPECT_EQ(euro.valueForString(euro.stringForValue(1999.99)), 1999.99);
}

} // namespace
} // namespace kalvora::test
