// The stand-in catalogs on the server under test: what the importer's statements need of them.

#include "platform/dal/Command.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/Recordset.h"
#include "schema/StandIn.h"
#include "support/TestDatabases.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zarn;
using dal::Recordset;

namespace {

class CatalogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = test::makeStandIn(folder.path());
        server->createRootCatalog();
        server->createFacility(QStringLiteral("southplant"), QStringLiteral("South Plant"));
        facility = schema::openConnection(server->catalogConnectionString("SOUTHPLANT"));
    }

    Recordset openTable(const QString &table)
    {
        Recordset rows;
        rows.Open(table, *facility, dal::adOpenStatic, dal::adLockOptimistic, dal::adCmdTable);
        return rows;
    }

    Recordset query(dal::Connection &connection, const QString &sql,
                    dal::LockTypeEnum lock = dal::adLockReadOnly)
    {
        Recordset rows;
        rows.Open(sql, connection, dal::adOpenStatic, lock, dal::adCmdText);
        return rows;
    }

    // Adds a location whose key is ud1 and returns the LocID that the database gave it.
    int addLocation(Recordset &locations, const QString &ud1)
    {
        locations.AddNew();
        locations.Fields("RecOrder").SetValue(std::int16_t{1});
        locations.Fields("audittimestamp").SetValue(DateTime::fromParts(2024, 3, 4, 10, 0, 1));
        locations.Fields("Location").SetValue("Train");
        locations.Fields("UD1").SetValue(ud1);
        locations.Fields("UD2").SetValue(std::int16_t{1});
        locations.Fields("LC_PEOPLE_ID").SetValue(Value::null());
        locations.Fields("Acres").SetValue(Value::null());
        locations.Update();
        return locations.Fields("LocID").Value().toInt32();
    }

    QTemporaryDir folder;
    std::unique_ptr<schema::StandInServer> server;
    std::unique_ptr<dal::Connection> facility;
};

} // namespace

TEST_F(CatalogTest, RootCatalogListsTheFacilitiesItWasGiven)
{
    server->createFacility(QStringLiteral("NORTHPLANT"), QStringLiteral("North Plant"));
    server->addFacilityRow(Value::null(), Value("Orphan"));
    server->addFacilityRow(Value("NONAME"), Value::null());
    const auto root = schema::openConnection(server->catalogConnectionString("tavroot"));
    Recordset rows = query(*root, "select filename,name from FACILITY order by NAME");
    ASSERT_EQ(rows.RecordCount(), 4);
    QStringList seen;
    for (; !rows.Eof(); rows.MoveNext())
        seen << rows.Fields("FileName").Value().toTextOrEmpty() + u'|' +
                    rows.Fields("Name").Value().toTextOrEmpty();
    // Null sorts apart from the names on each server; the named rows keep their order.
    seen.removeAll(QStringLiteral("NONAME|"));
    EXPECT_EQ(seen, QStringList({"NORTHPLANT|North Plant", "|Orphan", "southplant|South Plant"}));
}

TEST_F(CatalogTest, ReplacingACatalogEmptiesIt)
{
    Recordset locations = openTable("LOCATION");
    addLocation(locations, "01");
    locations.Close();
    facility->Close();

    server->createFacility(QStringLiteral("SOUTHPLANT"), QStringLiteral("South Plant"));
    facility->Open();
    EXPECT_EQ(openTable("LOCATION").RecordCount(), 0);

    server->createRootCatalog();
    const auto root = schema::openConnection(server->catalogConnectionString("TAVROOT"));
    EXPECT_EQ(query(*root, "select filename from FACILITY").RecordCount(), 0);
}

TEST_F(CatalogTest, LocationKeysKeepTheirTextAndIdsComeFromTheDatabase)
{
    Recordset locations = openTable("LOCATION");
    const int first = addLocation(locations, "01");
    const int zero = addLocation(locations, "00");
    const int negative = addLocation(locations, "0-3");
    EXPECT_GT(first, 0);
    EXPECT_NE(first, zero);
    EXPECT_NE(zero, negative);

    Recordset found = query(*facility, "select LocID, UD1 from LOCATION where UD1='01'");
    ASSERT_EQ(found.RecordCount(), 1);
    EXPECT_EQ(found.Fields("LocID").Value().toInt32(), first);
    EXPECT_EQ(found.Fields("UD1").Value().toText(), "01");
    EXPECT_EQ(query(*facility, "select LocID from LOCATION where UD1='1'").RecordCount(), 0);
    EXPECT_EQ(query(*facility, "select LocID from LOCATION where UD1='0-3'").RecordCount(), 1);
}

TEST_F(CatalogTest, VariablesAreFoundByBareAndQuotedNumbers)
{
    Recordset variables = query(
        *facility,
        "SELECT AuditUser, AuditTimeStamp,VARNUM,ud1,ud2, ud3, ud4, ud5,ud6,ud7,ud8,ud9, vartype, "
        "name, locid, units, allowsymbol,BARCODE,CASCADERULE,CHKROLLOVER,DECPLACES,SYMBOLRULE1,"
        "SYMBOLRULE2,SYMBOLRULE3,SYMBOLRULE4,SYMBOLRULE5,SYMBOLRULE6,SYMBOLRULE7,SYMBOLRULE8,"
        "SYMBOLRULE9,SYMBOLRULE10,SHORTNAME , PRIOPERATOR, PRIOPPRT, SECOPERATOR, SECOPPRT,"
        "DESCRIPTION FROM VARDESC WHERE LOCID=2 AND UD1=3",
        dal::adLockOptimistic);
    ASSERT_EQ(variables.RecordCount(), 0);
    variables.AddNew();
    variables.Fields("AuditTimeStamp").SetValue(DateTime::fromParts(2024, 3, 4, 10, 0, 0));
    variables.Fields("VARNUM").SetValue(std::int16_t{17});
    variables.Fields("UD1").SetValue(std::int16_t{3});
    variables.Fields("vartype").SetValue("1");
    variables.Fields("LOCID").SetValue(std::int16_t{2});
    variables.Fields("UD2").SetValue(90.25);
    variables.Fields("UD8").SetValue(std::int16_t{4});
    variables.Fields("UD9").SetValue("Analog");
    variables.Fields("SHORTNAME").SetValue("");
    variables.Fields("DESCRIPTION").SetValue(std::int16_t{0});
    variables.Update();

    EXPECT_EQ(query(*facility, "SELECT VARID FROM VARDESC WHERE LOCID=2 AND UD1=3").RecordCount(),
              1);
    EXPECT_EQ(query(*facility, "SELECT VARID FROM VARDESC WHERE LOCID=2 AND UD1=4").RecordCount(),
              0);
    Recordset byKey =
        query(*facility, "select VARID, UD2, SHORTNAME from vardesc where VARNUM='17'");
    ASSERT_EQ(byKey.RecordCount(), 1);
    EXPECT_GT(byKey.Fields("VARID").Value().toInt32(), 0);
    EXPECT_EQ(byKey.Fields("UD2").Value().toDouble(), 90.25);
    EXPECT_FALSE(byKey.Fields("SHORTNAME").Value().isNull());
}

// The location and variable rows as the imports write them, each value of the kind they send.
TEST_F(CatalogTest, EveryFieldTheImportsWriteIsAcceptedAsSent)
{
    const Value now = DateTime::fromParts(2024, 3, 4, 10, 11, 12);
    std::vector<std::pair<QString, Value>> location = {{"RecOrder", std::int16_t{3}},
                                                       {"audituser", "VT2ZARN"},
                                                       {"audittimestamp", now},
                                                       {"Location", "Train 12"},
                                                       {"UD1", "12"},
                                                       {"UD2", std::int16_t{2}}};
    for (const char *text :
         {"Description", "SiteAddress", "SiteState",   "SiteCity",     "SiteZip",    "SitePhone",
          "SiteContact", "SiteEMail",   "MailAddress", "MailState",    "MailCity",   "MailZip",
          "MailPhone",   "MailContact", "MailEMail",   "PermitNumber", "NAICS_SIC1", "NAICS_SIC2",
          "UD3",         "UD4",         "UD5",         "UD6",          "UD7",        "UD8",
          "UD9",         "Owner",       "Notes"})
        location.emplace_back(text, "");
    location.insert(location.end(), {{"LC_PEOPLE_ID", Value::null()},
                                     {"LocIdType", std::int16_t{0}},
                                     {"AreaId", std::int16_t{0}},
                                     {"Acres", Value::null()}});
    for (const char *text : {"Crop", "APPSEASONFROM", "APPSEASONTO", "SOILSERIES", "SOILTEXTURE",
                             "SOILDRAINAGE", "WATERTABLE", "LEGALDESC"})
        location.emplace_back(text, "");
    ASSERT_EQ(location.size(), 45u);

    std::vector<std::pair<QString, Value>> variable = {{"AuditUser", "VT2ZARN"},
                                                       {"AuditTimeStamp", now},
                                                       {"VARNUM", std::int16_t{31000}},
                                                       {"UD1", std::int16_t{7}},
                                                       {"vartype", "1"},
                                                       {"name", "Dissolved Oxygen"},
                                                       {"LOCID", std::int16_t{1}},
                                                       {"Units", "mg/L"},
                                                       {"UD2", 6.0},
                                                       {"UD3", 4.5},
                                                       {"UD4", 1.0},
                                                       {"UD5", 0.5},
                                                       {"UD6", 8.0},
                                                       {"UD7", 0.0},
                                                       {"UD8", std::int16_t{2}},
                                                       {"UD9", "Analog"},
                                                       {"allowsymbol", std::int16_t{0}},
                                                       {"BARCODE", "None"},
                                                       {"CASCADERULE", std::int16_t{1}},
                                                       {"CHKROLLOVER", std::int16_t{0}},
                                                       {"DECPLACES", std::int16_t{2}}};
    for (int i = 1; i <= 10; ++i)
        variable.emplace_back(QStringLiteral("SYMBOLRULE%1").arg(i), std::int16_t{0});
    for (const char *text : {"SHORTNAME", "PRIOPERATOR", "PRIOPPRT", "SECOPERATOR", "SECOPPRT"})
        variable.emplace_back(text, "");
    variable.emplace_back("DESCRIPTION", std::int16_t{0});
    ASSERT_EQ(variable.size(), 37u);

    for (const auto &[table, fields] : {std::pair{QStringLiteral("LOCATION"), location},
                                        std::pair{QStringLiteral("VARDESC"), variable}}) {
        Recordset rows = openTable(table);
        rows.AddNew();
        for (const auto &[name, value] : fields)
            rows.Fields(name).SetValue(value);
        rows.Update();
        Recordset stored = query(*facility, "SELECT * FROM " + table);
        ASSERT_EQ(stored.RecordCount(), 1);
        for (const auto &[name, value] : fields) {
            const Value &back = stored.Fields(name).Value();
            if (value.isNull())
                EXPECT_TRUE(back.isNull()) << name.toStdString();
            else if (value.kind() == Value::Kind::Text)
                EXPECT_EQ(back.toText(), value.toText()) << name.toStdString();
            else if (value.kind() == Value::Kind::DateTime)
                EXPECT_EQ(back.toDateTime(), value.toDateTime()) << name.toStdString();
            else
                EXPECT_EQ(back.toDouble(), value.toDouble()) << name.toStdString();
        }
    }
}

TEST_F(CatalogTest, UDCapsHasNineRowsInKeyOrder)
{
    Recordset captions = openTable("UDCaps");
    ASSERT_EQ(captions.RecordCount(), 9);
    for (int i = 1; i <= 9; ++i, captions.MoveNext())
        EXPECT_EQ(captions.Fields("FieldName").Value().toText(), QStringLiteral("UD%1").arg(i));
}

TEST_F(CatalogTest, AuditRowsTakeTheirIdsAndDetailsByPosition)
{
    Recordset trans =
        query(*facility, "select * from action_history_trans where id =-1", dal::adLockPessimistic);
    trans.AddNew();
    trans.Fields("tablename").SetValue("LOCATION");
    trans.Fields("recidnum").SetValue(std::int32_t{17});
    trans.Fields("action").SetValue(std::int32_t{1});
    trans.Update();
    const int id = trans.Fields("id").Value().toInt32();
    EXPECT_GT(id, 0);
    EXPECT_FALSE(trans.Fields("audittimestamp").Value().isNull());

    dal::Command detail;
    detail.setActiveConnection(*facility);
    detail.setCommandText("insert into action_history_detail values(?,?,?,?)");
    detail.AppendParameter(
        dal::Command::CreateParameter("transid", dal::adInteger, dal::adParamInput));
    detail.AppendParameter(
        dal::Command::CreateParameter("fieldname", dal::adVarWChar, dal::adParamInput, 255));
    detail.AppendParameter(
        dal::Command::CreateParameter("oldvalue", dal::adVarWChar, dal::adParamInput, 2000));
    detail.AppendParameter(
        dal::Command::CreateParameter("newvalue", dal::adVarWChar, dal::adParamInput, 2000));
    const QString longest = QString(1996, u'x') + QStringLiteral("...");
    detail.Parameters(0).value = std::int32_t{id};
    detail.Parameters(1).value = "NAME";
    detail.Parameters(2).value = Value::null();
    detail.Parameters(3).value = longest;
    detail.Execute();

    Recordset details = query(*facility, "select * from action_history_detail");
    ASSERT_EQ(details.FieldCount(), 4);
    EXPECT_EQ(details.Fields(0).Name().toLower(), "transid");
    EXPECT_EQ(details.Fields(1).Name().toLower(), "fieldname");
    EXPECT_EQ(details.Fields(2).Name().toLower(), "oldvalue");
    EXPECT_EQ(details.Fields(3).Name().toLower(), "newvalue");
    ASSERT_EQ(details.RecordCount(), 1);
    EXPECT_EQ(details.Fields(0).Value().toInt32(), id);
    EXPECT_TRUE(details.Fields(2).Value().isNull());
    EXPECT_EQ(details.Fields(3).Value().toText(), longest);
}

TEST_F(CatalogTest, ConnectionStringsAreTheConnectionManagersForDatabaseType2)
{
    EXPECT_EQ(server->catalogConnectionString("northPlant"),
              "Provider=" + server->zarnProvider() +
                  ";Persist Security Info=False;Data Source=" + server->zarnDataSource() +
                  ";Initial Catalog=NORTHPLANT;User ID=TAVDBA;Password=Vt2Zr;OLE DB Services =-2;"
                  "Application Name=ZARN Vantrel Importer;");
}

TEST_F(CatalogTest, IniNamesTheServerAndTheSourceOnLinesOfTheirOwn)
{
    const QString path = folder.filePath("ZARN_Vantrel_DB_importer.ini");
    schema::writeIni(path, *server, "Provider=SQLite;Data Source=/x/y.db");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        QString::fromUtf8(file.readAll()),
        "PELKZARN_CONNECTION_DBTYPE=2\r\nPELKZARN_CONNECTION_PROVIDER=" + server->zarnProvider() +
            "\r\nPELKZARN_CONNECTION_DATASOURCE=" + server->zarnDataSource() +
            "\r\nVT_CONN_STRING=Provider=SQLite;Data Source=/x/y.db\r\n");
}

TEST(ConnectionStringValueTest, ValuesReadBackUnchanged)
{
    for (const QString &value :
         {QStringLiteral("/data/vantrel.db"), QStringLiteral("/a;b/v.db"), QStringLiteral(" lead"),
          QStringLiteral("\"q\";.db"), QStringLiteral("'single")}) {
        const QString text = "Provider=SQLite;Data Source=" + schema::connectionStringValue(value);
        EXPECT_EQ(dal::parseConnectionString(text).value("data source"), value)
            << text.toStdString();
    }
    EXPECT_EQ(schema::connectionStringValue("/data/vantrel.db"), "/data/vantrel.db");
}
