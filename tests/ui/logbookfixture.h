#pragma once

#include <memory>

#include <QDateTime>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "model/flight.h"
#include "model/settings.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {

/** A fresh logbook store and helpers to fill it with flights. Metric units unless a test sets others. */
class LogbookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // Preferences of these tests stay in the temporary folder.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
        QSettings().clear();
        auto opened = PersistentStore::open(m_dir.filePath(QStringLiteral("test.kalvora")), ObjectModel::logBook());
        ASSERT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error());
        m_store = std::move(opened.value());
        Settings::setCurrentUnits(UnitSettings{});
    }

    void TearDown() override { Settings::setCurrentUnits(std::nullopt); }

    ObjectContext* ctx() { return m_store->mainContext(); }

    static QDateTime utc(int y, int mo, int d, int h, int mi)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc());
    }

    /** A flight from track data: take-off at @p start, @p minutes long, with the given XC state. */
    Flight* addFlight(const QDateTime& start, int minutes, double freeDistanceKm = 10, const QString& place = {})
    {
        auto* flight = ctx()->insert<Flight>();
        flight->setStartUTC(start);
        flight->setLandingUTC(start.addSecs(minutes * 60));
        flight->setStartLocation(place.isEmpty() ? QStringLiteral("Site %1").arg(start.date().day()) : place);
        flight->setLandingLocation(QStringLiteral("Field"));
        flight->setMaxAltitude(1000 + minutes);
        flight->setMaxVario(2.5);
        flight->setMaxSpeed(40);
        flight->setFreeDistance(freeDistanceKm);
        flight->setFlatDistance(0);
        flight->setFaiDistance(0);
        flight->setGlider(QStringLiteral("Alpha, Beta"));
        return flight;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_store;
};

} // namespace kalvora::test
