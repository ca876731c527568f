#pragma once

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {

/** A fresh logbook file in a temporary folder, opened and reopened at will. */
class StoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        reopen();
    }

    QString path() const { return m_dir.filePath(QStringLiteral("test.kalvora")); }

    void reopen(const ObjectModel& model = ObjectModel::logBook())
    {
        m_store.reset();
        auto opened = PersistentStore::open(path(), model);
        ASSERT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error());
        m_store = std::move(opened.value());
    }

    ObjectContext* ctx() { return m_store->mainContext(); }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_store;
};

} // namespace kalvora::test
