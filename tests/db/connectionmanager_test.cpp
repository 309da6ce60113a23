#include "db/ConnectionManager.h"
#include "platform/dal/Connection.h"

#include <gtest/gtest.h>

using zarn::ConnectionManager;
using zarn::dal::Connection;

namespace {

const QString password = QStringLiteral("Vt2Zr");

ConnectionManager initialised(std::int16_t type, const QString &customization = QString(),
                              bool persistSecurityInfo = false)
{
    ConnectionManager manager;
    EXPECT_TRUE(manager.Init(type, " P ", " S ", " Provider=SQLite;Data Source=v.db ",
                             customization, persistSecurityInfo, 12, 34));
    return manager;
}

} // namespace

TEST(ConnectionManagerInit, RejectsUnusableSettingsAndKeepsTheOldOnes)
{
    ConnectionManager manager;
    ASSERT_TRUE(manager.Init(2, "P", "S", "source", "C", false, 5, 6));
    EXPECT_FALSE(manager.Init(3, "Q", "T", "other", "D", true, 7, 8));
    EXPECT_FALSE(manager.Init(0, "Q", "T", "other", "D", true, 7, 8));
    EXPECT_FALSE(manager.Init(1, "   ", "T", "other", "D", true, 7, 8));
    EXPECT_FALSE(manager.Init(1, "Q", "   ", "other", "D", true, 7, 8));
    EXPECT_FALSE(manager.Init(1, "", "T", "other", "D", true, 7, 8));
    EXPECT_EQ(manager.DB_TYPE(), 2);
    EXPECT_EQ(manager.DB_PROVIDER(), "P");
    EXPECT_EQ(manager.DB_DATASOURCE(), "S");
    EXPECT_EQ(manager.DB_CUSTOMIZATION(), "C");
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 5);
    EXPECT_EQ(manager.COMMAND_TIMEOUT_s(), 6);
    Connection source;
    manager.ConfigCnn4VT(source);
    EXPECT_EQ(source.connectionString(), "source");
}

TEST(ConnectionManagerInit, TrimsSpacesOnlyAndLeavesTheSourceStringAlone)
{
    ConnectionManager manager;
    ASSERT_TRUE(manager.Init(1, "  P\t ", " S ", "  raw ;= ", "  X=1; ", true, 1, 2));
    EXPECT_EQ(manager.DB_PROVIDER(), "P\t");
    EXPECT_EQ(manager.DB_DATASOURCE(), "S");
    EXPECT_EQ(manager.DB_CUSTOMIZATION(), "X=1;");
    Connection source;
    manager.ConfigCnn4VT(source);
    EXPECT_EQ(source.connectionString(), "  raw ;= ");
}

TEST(ConnectionManagerInit, EmptySourceStringIsAccepted)
{
    ConnectionManager manager;
    EXPECT_TRUE(manager.Init(2, "P", "S", QString()));
    EXPECT_EQ(manager.CONNECTION_TIMEOUT_s(), 0);
    EXPECT_EQ(manager.COMMAND_TIMEOUT_s(), 0);
}

TEST(ConnectionManagerPassword, IsTheServerAccountPassword)
{
    EXPECT_EQ(ConnectionManager().password(), password);
}

TEST(ConnectionManagerStrings, TypeTwoNamesTheCatalogAsADatabase)
{
    ConnectionManager manager = initialised(2);
    EXPECT_EQ(manager.BuildConnectionString("TAVROOT"),
              "Provider=P;Persist Security Info=False;Data Source=S;Initial Catalog=TAVROOT;"
              "User ID=TAVDBA;Password=" +
                  password + ";OLE DB Services =-2;Application Name=ZARN Vantrel Importer;");
    EXPECT_EQ(manager.TemplateCnnString(),
              "Provider=P;Data Source=S;Persist Security Info=False;Initial Catalog=@@@;"
              "User ID=TAVDBA;Password=###;OLE DB Services =-2;"
              "Application Name=ZARN Vantrel Importer;");
}

TEST(ConnectionManagerStrings, TypeOneNamesTheCatalogAsAUser)
{
    ConnectionManager manager = initialised(1, " Timeout=9 ", true);
    EXPECT_EQ(
        manager.BuildConnectionString("plant7"),
        "Provider=P;Persist Security Info=True;Data Source=S;User ID=PLANT7;Password=" + password +
            ";OLE DB Services =-2;Application Name=ZARN Vantrel Importer;Timeout=9");
    EXPECT_EQ(manager.TemplateCnnString(),
              "Provider=P;Data Source=S;Persist Security Info=True;User ID=@@@;Password=###;"
              "OLE DB Services =-2;Application Name=ZARN Vantrel Importer;Timeout=9");
}

TEST(ConnectionManagerStrings, TemplateIsEmptyUntilTheFirstBuild)
{
    ConnectionManager manager = initialised(2);
    EXPECT_EQ(manager.TemplateCnnString(), "");
    manager.BuildConnectionString("a");
    const QString first = manager.TemplateCnnString();
    manager.BuildConnectionString("b");
    EXPECT_EQ(manager.TemplateCnnString(), first); // the catalog never reaches the template
    EXPECT_TRUE(first.contains("@@@"));
    EXPECT_FALSE(first.contains(password));
}

TEST(ConnectionManagerStrings, ReplacedDataSourceOnlyForFacilities)
{
    ConnectionManager manager = initialised(2);
    manager.setDataSourceReplace(true);
    EXPECT_TRUE(manager.BuildConnectionString("tavroot").contains(";Data Source=S;"));
    const QString facility = manager.BuildConnectionString("PLANT7");
    EXPECT_TRUE(facility.contains(";Data Source=;Initial Catalog=PLANT7;"))
        << facility.toStdString();
    EXPECT_TRUE(manager.TemplateCnnString().contains(";Data Source=;"));
    manager.setDataSourceReplace(false);
    EXPECT_TRUE(manager.BuildConnectionString("PLANT7").contains(";Data Source=S;"));
}

TEST(ConnectionManagerConfigure, EachConnectionGetsClientCursorsStringAndTimeOuts)
{
    ConnectionManager manager = initialised(2);
    Connection root;
    Connection source;
    Connection facility;
    manager.ConfigCnn4TAVROOT(root);
    manager.ConfigCnn4VT(source);
    manager.ConfigCnn4FACILITY(facility, "  plant7  ");
    for (const Connection *c : {&root, &source, &facility}) {
        EXPECT_EQ(c->cursorLocation(), zarn::dal::adUseClient);
        EXPECT_EQ(c->connectionTimeout(), 12);
        EXPECT_EQ(c->commandTimeout(), 34);
    }
    EXPECT_EQ(root.connectionString(), manager.BuildConnectionString("TAVROOT"));
    EXPECT_EQ(source.connectionString(), " Provider=SQLite;Data Source=v.db ");
    EXPECT_EQ(facility.connectionString(), manager.BuildConnectionString("PLANT7"));
    EXPECT_TRUE(facility.connectionString().contains(";Initial Catalog=PLANT7;"));
}

TEST(ConnectionManagerConfigure, BlankFacilityNameGivesAnEmptyDataSourceQuietly)
{
    ConnectionManager manager = initialised(2);
    manager.setDataSourceReplace(true);
    Connection facility;
    manager.ConfigCnn4FACILITY(facility, "   ");
    EXPECT_TRUE(facility.connectionString().contains(";Data Source=;Initial Catalog=;"));
}

TEST(ConnectionManagerRefresh, FailureIsReportedNotRaised)
{
    ConnectionManager manager = initialised(2);
    manager.setDataSourceReplace(true);
    Connection closed;
    EXPECT_FALSE(manager.RefreshDsHASH(closed));
}
