#pragma once

#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "model/settings.h"
#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "support/httpserver.h"

namespace kalvora::test {

/** A fresh global store with preferences in a temporary folder, metric units. */
class GlobalStoreWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
        QSettings().clear();
        auto opened =
            PersistentStore::open(m_dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
        ASSERT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error());
        m_store = std::move(opened.value());
        Settings::setCurrentUnits(UnitSettings{});
        Waypoint::setCurrentLocation(0, 0);
    }

    void TearDown() override
    {
        Settings::setCurrentUnits(std::nullopt);
        Waypoint::setUploadStarter({});
        Waypoint::setCurrentLocation(0, 0);
        Waypoint::setFlightReferencePoint(std::nullopt, std::nullopt);
    }

    ObjectContext* ctx() { return m_store->mainContext(); }

    /** A saved private waypoint at (LAT, LON) [1e-6 deg]. */
    Waypoint* addWaypoint(const QString& name, qint64 lat, qint64 lon, qint64 altitude = 0)
    {
        auto* w = ctx()->insert<Waypoint>();
        w->clearWaypoint();
        w->setName(name);
        w->setShortName(name.left(8));
        w->setLatitude(lat);
        w->setLongitude(lon);
        w->setAltitude(altitude);
        EXPECT_TRUE(ctx()->save().ok());
        return w;
    }

    /** Runs the event loop until DONE holds or TIMEOUTMS pass; returns DONE's last answer. */
    template <typename Pred> static bool waitFor(Pred done, int timeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    /** A reverse-geocoding answer naming Innsbruck, Tirol, Österreich. */
    static HttpServerResponse innsbruckAnswer(int delayMs = 0)
    {
        HttpServerResponse r;
        r.body = "<reversegeocode><addressparts><city>Innsbruck</city><county>Innsbruck</county>"
                 "<state>Tirol</state><country>\xC3\x96sterreich</country><country_code>at</country_code>"
                 "</addressparts></reversegeocode>";
        r.delayMs = delayMs;
        return r;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_store;
};

} // namespace kalvora::test
