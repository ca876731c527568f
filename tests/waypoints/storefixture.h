#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>

#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {

/** A fresh global store in a temporary folder, opened on the test's thread. */
class GlobalStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        auto opened =
            PersistentStore::open(m_dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
        ASSERT_TRUE(opened.ok()) << opened.error();
        m_store = std::move(*opened);
    }
    void TearDown() override
    {
        Waypoint::setUploadStarter({});
        m_store.reset();
    }

    ObjectContext& main() { return *m_store->mainContext(); }

    /** A saved waypoint at (LAT, LON) [1e-6 deg] named NAME. */
    Waypoint* addWaypoint(const QString& name, qint64 lat, qint64 lon, bool shared = false)
    {
        auto* w = main().insert<Waypoint>();
        w->clearWaypoint();
        w->setName(name);
        w->setLatitude(lat);
        w->setLongitude(lon);
        if (shared) {
            w->setSyncOnline(1);
            w->setSyncStatus(0);
        }
        EXPECT_TRUE(main().save().ok());
        return w;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_store;
};

} // namespace kalvora::test
