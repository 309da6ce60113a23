#include "db/ConnectionManager.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"
#include "support/ScratchDatabase.h"

#include <gtest/gtest.h>

using zarn::ConnectionManager;
using zarn::dal::Connection;

namespace {

// A root catalog's facility table on the server under test, and a manager that takes each
// facility's data source from it.
class RefreshDsHashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        database.open(root);
        root.Execute("CREATE TABLE facility (filename VARCHAR(64), name VARCHAR(100), "
                     "directory VARCHAR(255))");
        ASSERT_TRUE(manager.Init(2, "P", "configured", QString()));
        manager.setDataSourceReplace(true);
    }

    void addFacility(const zarn::Value &fileName, const zarn::Value &directory)
    {
        root.Execute("INSERT INTO facility (filename, name, directory) VALUES (?, 'n', ?)",
                     {fileName, directory});
    }

    // The data source that the manager puts into the catalog's connection string.
    QString dataSourceOf(const QString &catalog)
    {
        const QString text = manager.BuildConnectionString(catalog);
        const qsizetype start = text.indexOf(";Data Source=") + 13;
        return text.mid(start, text.indexOf(';', start) - start);
    }

    zarn::test::ScratchDatabase database;
    Connection root;
    ConnectionManager manager;
};

} // namespace

TEST_F(RefreshDsHashTest, EachFacilityGetsItsOwnDataSource)
{
    addFacility("plant7", " //srv7 ");
    addFacility("Alpha", zarn::Value::null());
    addFacility("beta", "b-host");
    ASSERT_TRUE(manager.RefreshDsHASH(root));
    EXPECT_EQ(dataSourceOf("PLANT7"), "//srv7");
    EXPECT_EQ(dataSourceOf("alpha"), "");
    EXPECT_EQ(dataSourceOf("Beta"), "b-host");
    EXPECT_EQ(dataSourceOf("unlisted"), "");
    EXPECT_EQ(dataSourceOf("TAVROOT"), "configured");
}

TEST_F(RefreshDsHashTest, AnEmptyTableEmptiesTheLookUp)
{
    addFacility("plant7", "srv7");
    ASSERT_TRUE(manager.RefreshDsHASH(root));
    root.Execute("DELETE FROM facility");
    ASSERT_TRUE(manager.RefreshDsHASH(root));
    EXPECT_EQ(dataSourceOf("PLANT7"), "");
}

TEST_F(RefreshDsHashTest, FileNamesEqualButForCaseFailAndKeepEarlierEntries)
{
    addFacility("a1", "first");
    addFacility("x", "one");
    addFacility("X", "two");
    EXPECT_FALSE(manager.RefreshDsHASH(root));
    EXPECT_EQ(dataSourceOf("A1"), "first");
}

TEST_F(RefreshDsHashTest, ANullFileNameFails)
{
    addFacility(zarn::Value::null(), "srv");
    EXPECT_FALSE(manager.RefreshDsHASH(root));
}

TEST_F(RefreshDsHashTest, AFailingQueryIsReportedNotRaised)
{
    root.Execute("DROP TABLE facility");
    EXPECT_FALSE(manager.RefreshDsHASH(root));
}

TEST_F(RefreshDsHashTest, NothingIsReadWhenReplacementIsOff)
{
    addFacility("plant7", "srv7");
    manager.setDataSourceReplace(false);
    root.Execute("DROP TABLE facility");
    EXPECT_TRUE(manager.RefreshDsHASH(root));
}
