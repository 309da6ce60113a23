#include "import/StandInFixture.h"

namespace zarn {
namespace {

using test::exclamation;
using test::information;
using test::SensorRow;

class ReaderTest : public test::StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        addSite(1);
    }

    SensorRecord buildFrom(const SensorRow &row)
    {
        addSensor(1, row);
        dal::Recordset rs = importer->GetSensorDefinitions(QStringLiteral("SENSORS_1"));
        EXPECT_EQ(rs.RecordCount(), 1);
        return importer->CreateSensorFromRecordset(rs);
    }

    void addLocation(const QString &key)
    {
        facility->Execute(QStringLiteral("INSERT INTO LOCATION (Location, UD1) VALUES (?, ?)"),
                          {QStringLiteral("Train ") + key, key});
    }

    Value locIdOf(const QString &key)
    {
        return rows(*facility,
                    QStringLiteral("SELECT LocID FROM LOCATION WHERE UD1=? ORDER BY LocID"), {key})
            .at(0)
            .at(0);
    }
};

TEST_F(ReaderTest, FindsTheSiteTablesThroughSystems)
{
    EXPECT_EQ(importer->GetDataTableName(QStringLiteral("1")), QStringLiteral("DATA_1"));
    EXPECT_EQ(importer->GetSensorsTableName(QStringLiteral("1")), QStringLiteral("SENSORS_1"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReaderTest, ASiteMissingFromSystemsIsNamedInAnInformationMessage)
{
    EXPECT_EQ(importer->GetDataTableName(QStringLiteral("42")), QString());
    EXPECT_EQ(importer->GetSensorsTableName(QStringLiteral("42")), QString());
    EXPECT_EQ(
        ui.messages,
        (std::vector<Message>{
            information(QStringLiteral("ZARN Vantrel DB Importer cannot find data table for 42.")),
            information(
                QStringLiteral("ZARN Vantrel DB Importer cannot find sensors table for 42."))}));
}

TEST_F(ReaderTest, AnInjectionLikeSiteIdentifierSelectsNothing)
{
    const QString id = QStringLiteral("1' OR '1'='1");
    EXPECT_EQ(importer->GetSensorsTableName(id), QString());
    EXPECT_EQ(ui.messages,
              (std::vector<Message>{information(
                  QStringLiteral("ZARN Vantrel DB Importer cannot find sensors table for ") + id +
                  QStringLiteral("."))}));
}

TEST_F(ReaderTest, ANullTableNameFailsWithTheLookupsOwnMessage)
{
    addSite(2, Value::null(), Value::null());
    EXPECT_EQ(importer->GetDataTableName(QStringLiteral("2")), QString());
    EXPECT_EQ(importer->GetSensorsTableName(QStringLiteral("2")), QString());
    EXPECT_EQ(
        ui.messages,
        (std::vector<Message>{
            exclamation(QStringLiteral("Program was unable to get the data table name")),
            exclamation(QStringLiteral("Program was unable to get the sensors table name"))}));
}

// A name that is not one to three plain parts is refused before anything reaches the server.
TEST_F(ReaderTest, HostileTableNamesAreRefused)
{
    const QString names[] = {QStringLiteral("SENSORS_1; DROP TABLE SYSTEMS"),
                             QStringLiteral("SENSORS_1;"),
                             QStringLiteral("SENSORS_1 s"),
                             QStringLiteral("SENSORS_1 UNION SELECT 1"),
                             QStringLiteral("1SENSORS"),
                             QStringLiteral("\"SENSORS_1\""),
                             QStringLiteral("SENSORS_1\"; DROP TABLE SYSTEMS; --"),
                             QStringLiteral("[SENSORS_1]"),
                             QStringLiteral("`SENSORS_1`"),
                             QStringLiteral("SENSORS_1'"),
                             QStringLiteral("SENSORS_1--"),
                             QStringLiteral("SENSORS_1/**/"),
                             QStringLiteral("SENSORS-1"),
                             QStringLiteral("main."),
                             QStringLiteral(".SENSORS_1"),
                             QStringLiteral("main..SENSORS_1"),
                             QStringLiteral("a.b.main.SENSORS_1"),
                             QString(300, u'S'),
                             QStringLiteral("main.") + QString(129, u'S'),
                             QStringLiteral("SENSORS_\u00001"),
                             QString()};
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        ui.messages.clear();
        ui.details.clear();
        dal::Recordset rs = importer->GetSensorDefinitions(name);
        EXPECT_FALSE(rs.isOpen());
        EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(QStringLiteral(
                                   "Program was unable to get Vantrel Sensor Definitions"))}));
        ASSERT_EQ(ui.details.size(), 1u);
        EXPECT_TRUE(ui.details[0].contains(QStringLiteral("is refused")))
            << ui.details[0].toStdString();
        ui.messages.clear();
        EXPECT_FALSE(importer->GetDataRows(DateTime(0), DateTime(1e5), name).isOpen());
        EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(
                                   QStringLiteral("Program was unable to get Vantrel data"))}));
    }
    EXPECT_EQ(rows(*source, QStringLiteral("SELECT COUNT(*) FROM SYSTEMS"))[0][0].toInt32(), 1);
    EXPECT_EQ(rows(*source, QStringLiteral("SELECT COUNT(*) FROM SENSORS_1"))[0][0].toInt32(), 0);
}

// Site tables named with their schema, or with letters beyond ASCII, as SYSTEMS may give them,
// imported for real: the sensor's variable is made and its reading stored.
TEST_F(ReaderTest, QualifiedAndNonAsciiTableNamesAreImported)
{
    const test::ServerContext &context = test::serverContext();
    // Tables made in a schema of their own, through a connection that makes them there.
    const auto schemaMaker = schema::openConnection(source->connectionString());
    const bool ownSchema = context.useNewSchema(*schemaMaker, QStringLiteral("vantrel"));
    // Made unquoted: PostgreSQL lowers the ASCII letters only ("Mesures_Été" is "mesures_Été").
    schema::runSchemaScript(*source, QStringLiteral("source_site"),
                            {{QStringLiteral("SENSORS"), QStringLiteral("Mesures_Été")},
                             {QStringLiteral("DATA"), QStringLiteral("Données_Été")}});
    struct Case
    {
        QString sensors, data;
        dal::Connection *tables; // the connection on which the plain names reach the tables
    };
    const QString defaultSchema = context.defaultSchemaOf(*source);
    std::vector<Case> cases = {
        {defaultSchema + QStringLiteral(".SENSORS_1"), defaultSchema + QStringLiteral(".DATA_1"),
         source.get()},
        {QStringLiteral(" Mesures_Été "), QStringLiteral("Données_Été"), source.get()}};
    if (ownSchema) {
        schema::runSchemaScript(*schemaMaker, QStringLiteral("source_site"),
                                {{QStringLiteral("SENSORS"), QStringLiteral("sensors_7")},
                                 {QStringLiteral("DATA"), QStringLiteral("data_7")}});
        cases.push_back({QStringLiteral("vantrel.sensors_7"), QStringLiteral("VANTREL.DATA_7"),
                         schemaMaker.get()});
    }
    const DateTime at = DateTime::fromParts(2024, 3, 5, 10, 0);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.sensors.toStdString());
        const int site = 10 + static_cast<int>(i);
        const int type = 1 + static_cast<int>(i);
        addSite(site, c.data, c.sensors);
        SensorRow row;
        row.SensorID = std::int32_t{100 + type};
        row.SensorType = std::int32_t{type};
        const QString plain = [&] {
            const QString trimmed = c.sensors.trimmed();
            return trimmed.mid(trimmed.lastIndexOf(u'.') + 1);
        }();
        addSensorTo(*c.tables, plain, row);
        addReadingTo(*c.tables, c.data.mid(c.data.lastIndexOf(u'.') + 1), type, 1, 2.5, at);

        ui.messages.clear();
        const QString id = QString::number(site);
        EXPECT_TRUE(
            importer->ImportVars(id, QStringLiteral("Import test"), QStringLiteral("IMPTEST")));
        EXPECT_TRUE(importer->ImportData(DateTime::fromParts(2024, 3, 5),
                                         DateTime::fromParts(2024, 3, 6), id,
                                         QStringLiteral("Import test"), QStringLiteral("IMPTEST")));
        EXPECT_EQ(messageTexts(),
                  (std::vector<QString>{QStringLiteral("Created 1 ZARN Variables.\r\n"),
                                        QStringLiteral("Inserted 1 data records into ZARN "
                                                       "database.")}));
        EXPECT_EQ(rows(*facility,
                       QStringLiteral("SELECT COUNT(*) FROM DD1_VALUES d JOIN VARDESC "
                                      "v ON v.VARID=d.varid WHERE v.VARNUM=?"),
                       {std::int32_t{100 + type}})[0][0]
                      .toInt32(),
                  1);
    }
}

TEST_F(ReaderTest, ReadingsLieStrictlyBetweenTheDates)
{
    const DateTime start = DateTime::fromParts(2005, 1, 1);
    const DateTime end = DateTime::fromParts(2005, 1, 31);
    addReading(1, 1, 1, 1.0, start);
    addReading(1, 1, 1, 2.0, DateTime::fromParts(2005, 1, 1, 0, 0, 0, 1));
    addReading(1, 1, 1, 3.0, DateTime::fromParts(2005, 1, 30, 23, 59, 59, 999));
    addReading(1, 1, 1, 4.0, end);
    dal::Recordset rs = importer->GetDataRows(start, end, QStringLiteral("DATA_1"));
    ASSERT_TRUE(rs.isOpen());
    EXPECT_EQ(rs.RecordCount(), 2);
    std::vector<double> data;
    for (; !rs.Eof(); rs.MoveNext())
        data.push_back(rs.Fields(QStringLiteral("Data")).Value().toDouble());
    std::sort(data.begin(), data.end());
    EXPECT_EQ(data, (std::vector<double>{2.0, 3.0}));
    rs.Close();
}

TEST_F(ReaderTest, SensorRecordTakesEveryColumn)
{
    addLocation(QStringLiteral("03"));
    SensorRow row;
    row.SensorType = std::int32_t{5};
    row.TrainNumber = std::int32_t{3};
    row.SensorID = std::int32_t{321};
    row.Virtual = true;
    const SensorRecord s = buildFrom(row);
    SensorRecord expected;
    expected.SensorID = 321;
    expected.SensorType = 5;
    expected.TrainNumber = QStringLiteral("03");
    expected.LocID = locIdOf(QStringLiteral("03")).toInt16();
    expected.Description = QStringLiteral("Flow");
    expected.Units = QStringLiteral("gpm");
    expected.HiHi = 95.5;
    expected.Hi = 80.25;
    expected.Lo = 10.0;
    expected.LoLo = 5.0;
    expected.MaxDisplay = 120.0;
    expected.MinDisplay = -1.5;
    expected.DisplayOrder = 3;
    expected.DataType = QStringLiteral("Analog");
    expected.Virtual = true;
    EXPECT_EQ(s, expected);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReaderTest, NullColumnsTakeTheirDefaults)
{
    addLocation(QStringLiteral("01"));
    SensorRow row;
    row.TrainNumber = Value::null();
    row.Description = Value::null();
    row.Units = Value::null();
    row.HiHi = row.Hi = row.Lo = row.LoLo = row.MaxDisplay = row.MinDisplay = Value::null();
    row.DisplayOrder = Value::null();
    row.DataType = Value::null();
    const SensorRecord s = buildFrom(row);
    EXPECT_EQ(s.TrainNumber, QStringLiteral("01"));
    EXPECT_EQ(s.LocID, locIdOf(QStringLiteral("01")).toInt16());
    EXPECT_EQ(s.Description, QStringLiteral("Undefined"));
    EXPECT_EQ(s.Units, QStringLiteral(""));
    EXPECT_EQ((std::vector<double>{s.HiHi, s.Hi, s.Lo, s.LoLo, s.MaxDisplay, s.MinDisplay}),
              (std::vector<double>{100, 90, 0, 0, 100, 0}));
    EXPECT_EQ(s.DisplayOrder, 1);
    EXPECT_EQ(s.DataType, QStringLiteral(""));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReaderTest, TrainNumbersBecomeLocationKeysAndUnknownKeysLocationOne)
{
    addLocation(QStringLiteral("10"));
    addLocation(QStringLiteral("07"));
    const std::vector<std::pair<std::int32_t, QString>> cases = {{7, QStringLiteral("07")},
                                                                 {10, QStringLiteral("10")},
                                                                 {0, QStringLiteral("00")},
                                                                 {-3, QStringLiteral("0-3")},
                                                                 {123, QStringLiteral("123")}};
    std::int32_t id = 1;
    for (const auto &[train, key] : cases) {
        SensorRow row;
        row.TrainNumber = train;
        row.SensorID = id++;
        addSensor(1, row);
    }
    dal::Recordset rs = importer->GetSensorDefinitions(QStringLiteral("SENSORS_1"));
    ASSERT_EQ(rs.RecordCount(), 5);
    std::vector<std::pair<QString, std::int16_t>> built;
    for (; !rs.Eof(); rs.MoveNext()) {
        const SensorRecord s = importer->CreateSensorFromRecordset(rs);
        built.emplace_back(s.TrainNumber, s.LocID);
    }
    // Ordered by train number.
    EXPECT_EQ(built, (std::vector<std::pair<QString, std::int16_t>>{
                         {QStringLiteral("0-3"), 1},
                         {QStringLiteral("00"), 1},
                         {QStringLiteral("07"), locIdOf(QStringLiteral("07")).toInt16()},
                         {QStringLiteral("10"), locIdOf(QStringLiteral("10")).toInt16()},
                         {QStringLiteral("123"), 1}}));
}

TEST_F(ReaderTest, OverLongUnitsAreCut)
{
    SensorRow row;
    row.Units = QStringLiteral("123456789012");
    row.Description = QString(300, u'd');
    const SensorRecord s = buildFrom(row);
    EXPECT_EQ(s.Units, QStringLiteral("1234567890"));
    EXPECT_EQ(s.Description, QString(300, u'd'));
}

TEST_F(ReaderTest, AnUnbuildableRowGivesTheEmptyRecordAfterItsMessage)
{
    const std::vector<SensorRow> bad = [] {
        std::vector<SensorRow> rows(4);
        rows[0].SensorID = Value::null();
        rows[1].SensorType = std::int32_t{40000};
        rows[2].Virtual = Value::null();
        rows[3].DisplayOrder = std::int32_t{-40000};
        return rows;
    }();
    for (const SensorRow &row : bad) {
        source->Execute(QStringLiteral("DELETE FROM SENSORS_1"));
        ui.messages.clear();
        EXPECT_EQ(buildFrom(row), SensorRecord{});
        EXPECT_EQ(ui.messages,
                  (std::vector<Message>{exclamation(QStringLiteral(
                      "Program was unable to create a Vantrel Sensor from recordset"))}));
    }
}

// A lookup that fails is not a location that is missing: the sensor is not built, rather than
// filed under location 1.
TEST_F(ReaderTest, AFailingLocationLookupFailsTheSensor)
{
    addLocation(QStringLiteral("01"));
    facility->Execute(QStringLiteral("ALTER TABLE LOCATION RENAME TO LOCATION_ELSEWHERE"));
    EXPECT_EQ(buildFrom(SensorRow{}), SensorRecord{});
    EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(QStringLiteral(
                               "Program was unable to create a Vantrel Sensor from recordset"))}));
}

TEST_F(ReaderTest, LocationLookupGivesTheFirstMatchOrNull)
{
    EXPECT_TRUE(importer->GetLocIDByUD1(QStringLiteral("01")).isNull());
    addLocation(QStringLiteral("01"));
    addLocation(QStringLiteral("01"));
    EXPECT_EQ(importer->GetLocIDByUD1(QStringLiteral("01")).toInt32(),
              locIdOf(QStringLiteral("01")).toInt32());
    EXPECT_TRUE(importer->GetLocIDByUD1(QStringLiteral("01' OR '1'='1")).isNull());
}

TEST_F(ReaderTest, ProgressMovesOnlyStrictlyBetweenZeroAndTheTotal)
{
    importer->UpdateProgress(0, 3);
    importer->UpdateProgress(3, 3);
    importer->UpdateProgress(4, 3);
    EXPECT_TRUE(ui.progressValues.empty());
    importer->UpdateProgress(1, 3);
    importer->UpdateProgress(2, 3);
    importer->UpdateProgress(2999999, 3000000);
    EXPECT_EQ(ui.progressValues, (std::vector<int>{33, 66, 99}));
}

} // namespace
} // namespace zarn
