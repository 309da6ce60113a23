// Generated source databases on the server under test: reproducible, of the shape asked for,
// and answering the queries that the importer sends.

#include "platform/Error.h"
#include "platform/dal/Recordset.h"
#include "schema/Generator.h"
#include "schema/StandIn.h"
#include "support/TestDatabases.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

using namespace zarn;
using dal::Recordset;

namespace {

schema::SiteSpec site(int id, bool active, std::vector<int> trains, int sensorsPerTrain,
                      long long readings, int secondsBetweenReadings)
{
    schema::SiteSpec s;
    s.systemId = id;
    s.name = QStringLiteral("Site %1").arg(id);
    s.active = active;
    s.trains = std::move(trains);
    s.sensorsPerTrain = sensorsPerTrain;
    s.readings = readings;
    s.firstReading = DateTime::fromParts(2024, 3, 4);
    s.secondsBetweenReadings = secondsBetweenReadings;
    return s;
}

// A site without trains (inactive) and one with trains 0, 1, 2 and 12.
schema::SourceSpec twoSites(quint32 seed)
{
    return {seed, {site(11, false, {}, 5, 50, 30), site(12, true, {0, 1, 2, 12}, 3, 120, 90)}};
}

class GeneratorTest : public ::testing::Test
{
protected:
    void SetUp() override { server = test::makeStandIn(folder.path()); }

    std::unique_ptr<dal::Connection> generated(const QString &name, const schema::SourceSpec &spec)
    {
        auto source = schema::openConnection(server->createSource(name));
        schema::generateSource(*source, spec);
        return source;
    }

    static Recordset query(dal::Connection &connection, const QString &sql)
    {
        Recordset rows;
        rows.Open(sql, connection, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText);
        return rows;
    }

    // Every row of the query as text, date-times to the millisecond.
    static QStringList dump(dal::Connection &connection, const QString &sql)
    {
        QStringList lines;
        for (Recordset rows = query(connection, sql); !rows.Eof(); rows.MoveNext()) {
            QStringList fields;
            for (int i = 0; i < rows.FieldCount(); ++i) {
                const Value &value = rows.Fields(i).Value();
                fields << (value.kind() == Value::Kind::DateTime ? value.toDateTime().toIsoText()
                                                                 : value.toTextOrEmpty());
            }
            lines << fields.join(u'|');
        }
        return lines;
    }

    static QStringList dumpAll(dal::Connection &source)
    {
        QStringList all = dump(source, "SELECT * FROM SYSTEMS ORDER BY SystemID");
        all += dump(source, "SELECT * FROM TRAINS ORDER BY SiteID, TrainOrder");
        for (const char *table : {"SENSORS_11", "SENSORS_12"})
            all += dump(source, QStringLiteral("SELECT * FROM %1 ORDER BY SensorID").arg(table));
        for (const char *table : {"DATA_11", "DATA_12"})
            all += dump(source, QStringLiteral("SELECT * FROM %1 ORDER BY TimeDate, TrainNumber, "
                                               "SensorType")
                                    .arg(table));
        return all;
    }

    QTemporaryDir folder;
    std::unique_ptr<schema::StandInServer> server;
};

} // namespace

TEST_F(GeneratorTest, TheSameSeedGivesTheSameRows)
{
    const auto first = generated("GEN_A", twoSites(5));
    const auto second = generated("GEN_B", twoSites(5));
    const auto other = generated("GEN_C", twoSites(6));
    const QStringList rows = dumpAll(*first);
    EXPECT_EQ(rows.size(), 2 + 4 + 5 + 12 + 50 + 120);
    EXPECT_EQ(rows, dumpAll(*second));
    EXPECT_NE(dump(*first, "SELECT Data, TimeDate FROM DATA_12 ORDER BY TimeDate, TrainNumber, "
                           "SensorType"),
              dump(*other, "SELECT Data, TimeDate FROM DATA_12 ORDER BY TimeDate, TrainNumber, "
                           "SensorType"));
}

// The values come from the engine's raw outputs and integer arithmetic only, so these rows are
// the same on every platform and compiler.
TEST_F(GeneratorTest, TheRowsOfASeedAreTheSameEverywhere)
{
    const auto source = generated("GEN_FIXED", schema::uniformSpec(7, 1, 0, 3, 12));
    EXPECT_EQ(dump(*source, "SELECT SensorType, TrainNumber, Data, TimeDate FROM DATA_1 "
                            "ORDER BY TimeDate, SensorType"),
              QStringList({"3|1|7.17|2024-01-01 00:00:00", "2|1|1.39|2024-01-01 00:00:05",
                           "1|1|5.24|2024-01-01 00:00:18.480", "2|1|1.51|2024-01-01 00:01:00",
                           "3|1|7.16|2024-01-01 00:01:00", "1|1|5.12|2024-01-01 00:01:40",
                           "2|1|1.48|2024-01-01 00:02:00", "3|1|7.19|2024-01-01 00:02:15.755",
                           "1|1|5.15|2024-01-01 00:02:54", "2|1|1.61|2024-01-01 00:03:00",
                           "1|1|5.1|2024-01-01 00:03:15", "3|1|7.14|2024-01-01 00:03:54"}));
}

TEST_F(GeneratorTest, SitesHaveTheShapeAsked)
{
    const auto source = generated("GEN_SHAPE", twoSites(3));
    EXPECT_EQ(dump(*source, "SELECT SystemID, Status, TableName, SensorsName FROM SYSTEMS "
                            "ORDER BY SystemID"),
              QStringList({"11|0|DATA_11|SENSORS_11", "12|1|DATA_12|SENSORS_12"}));
    EXPECT_EQ(query(*source, "SELECT * FROM TRAINS WHERE SiteID=11").RecordCount(), 0);
    EXPECT_EQ(dump(*source, "SELECT TrainNumber, TrainOrder FROM TRAINS WHERE SiteID=12 "
                            "ORDER BY TrainOrder"),
              QStringList({"0|1", "1|2", "2|3", "12|4"}));

    // Without trains, every sensor is on the plant-wide train 1.
    EXPECT_EQ(dump(*source, "SELECT TrainNumber, count(*) FROM SENSORS_11 GROUP BY TrainNumber"),
              QStringList({"1|5"}));
    EXPECT_EQ(dump(*source, "SELECT TrainNumber, count(DISTINCT SensorType) FROM SENSORS_12 "
                            "GROUP BY TrainNumber ORDER BY TrainNumber"),
              QStringList({"0|3", "1|3", "2|3", "12|3"}));
    std::set<int> ids;
    for (const char *table : {"SENSORS_11", "SENSORS_12"})
        for (Recordset rows = query(*source, QStringLiteral("SELECT SensorID FROM %1").arg(table));
             !rows.Eof(); rows.MoveNext())
            EXPECT_TRUE(ids.insert(rows.Fields(0).Value().toInt32()).second);
    EXPECT_EQ(ids.size(), 17u);

    // Ten steps of 90 seconds: every sensor logs once per step, never past the last step.
    EXPECT_EQ(dump(*source, "SELECT count(*), count(DISTINCT Data) > 1 FROM DATA_12 "
                            "GROUP BY TrainNumber, SensorType HAVING count(*) <> 10"),
              QStringList());
    int withSeconds = 0, withMilliseconds = 0;
    const DateTime first = DateTime::fromParts(2024, 3, 4);
    const DateTime afterLast = DateTime::fromParts(2024, 3, 4, 0, 14, 30);
    for (Recordset rows = query(*source, "SELECT TimeDate FROM DATA_12"); !rows.Eof();
         rows.MoveNext()) {
        const DateTime::Parts parts = rows.Fields(0).Value().toDateTime().parts();
        const DateTime time = rows.Fields(0).Value().toDateTime();
        EXPECT_GE(time, first);
        EXPECT_LT(time, afterLast);
        withSeconds += parts.second % 30 != 0 ? 1 : 0;
        withMilliseconds += parts.millisecond != 0 ? 1 : 0;
    }
    EXPECT_GT(withSeconds, 0);
    EXPECT_GT(withMilliseconds, 0);
}

TEST_F(GeneratorTest, ReadingsStayInsideTheirSensorsDisplayRange)
{
    const auto source = generated("GEN_RANGE", {9, {site(1, true, {1, 2}, 12, 24 * 200, 600)}});
    EXPECT_EQ(query(*source, "SELECT d.Data FROM DATA_1 d JOIN SENSORS_1 s ON "
                             "s.SensorType = d.SensorType AND s.TrainNumber = d.TrainNumber "
                             "WHERE d.Data < s.MinDisplay OR d.Data > s.MaxDisplay")
                  .RecordCount(),
              0);
    EXPECT_EQ(query(*source, "SELECT d.Data FROM DATA_1 d JOIN SENSORS_1 s ON "
                             "s.SensorType = d.SensorType AND s.TrainNumber = d.TrainNumber")
                  .RecordCount(),
              24 * 200);
}

TEST_F(GeneratorTest, TheImportersQueriesRead)
{
    const auto source = generated("GEN_QUERIES", twoSites(4));
    EXPECT_EQ(dump(*source, "SELECT SystemID,FacilityName FROM SYSTEMS WHERE Status='1' "
                            "ORDER By FacilityName"),
              QStringList({"12|Site 12"}));
    EXPECT_EQ(dump(*source, "SELECT SensorsName FROM SYSTEMS WHERE SystemID='12'"),
              QStringList({"SENSORS_12"}));
    EXPECT_EQ(dump(*source, "select TrainNumber, TrainName, TrainOrder,[Group] from TRAINS "
                            "WHERE SiteID='12'")
                  .size(),
              4);
    Recordset sensors = query(
        *source, "SELECT SensorType, TrainNumber, Description, Units, SensorID, HiHi, Hi, Lo,"
                 "LoLo,MaxDisplay, MinDisplay, DisplayOrder, DataType, Virtual FROM SENSORS_12 "
                 "ORDER By TrainNumber, Description");
    EXPECT_EQ(sensors.RecordCount(), 12);
    EXPECT_EQ(sensors.Fields("TrainNumber").Value().toInt32(), 0);
    EXPECT_NO_THROW(sensors.Fields("Virtual").Value().toBool());

    // Both bounds are strict: readings stamped exactly on either are left out. The bounds go
    // as date-time parameters, which each server compares as date-times.
    const DateTime from = DateTime::fromParts(2024, 3, 4);
    const DateTime to = DateTime::fromParts(2024, 3, 4, 0, 3, 0);
    long expected = 0;
    for (Recordset all = query(*source, "SELECT TimeDate FROM DATA_12"); !all.Eof(); all.MoveNext())
        expected +=
            all.Fields(0).Value().toDateTime() > from && all.Fields(0).Value().toDateTime() < to;
    Recordset between;
    between.Open("SELECT SensorType, TrainNumber, Data, TimeDate FROM DATA_12 WHERE TimeDate>? "
                 "AND TimeDate<?",
                 *source, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText,
                 {Value(from), Value(to)});
    EXPECT_GT(expected, 0);
    EXPECT_EQ(between.RecordCount(), expected);
}

TEST_F(GeneratorTest, SpecsThatCannotBeWrittenAreRefusedBeforeAnyRow)
{
    const auto source = schema::openConnection(server->createSource("GEN_REFUSED"));
    EXPECT_THROW(schema::generateSource(*source, schema::uniformSpec(1, 2, 2, 9000, 0)), Error);
    EXPECT_THROW(schema::generateSource(*source, {1, {site(1, true, {}, 0, 10, 60)}}), Error);
    EXPECT_THROW(schema::generateSource(*source, {1, {site(1, true, {}, 1, 10, 0)}}), Error);
    EXPECT_EQ(query(*source, "SELECT * FROM SYSTEMS").RecordCount(), 0);
}

TEST(DemoSpecTest, ThreeActiveSitesOfDifferentShapesOverAFewDays)
{
    const schema::SourceSpec spec = schema::demoSpec();
    long long readings = 0;
    int active = 0;
    bool withoutTrains = false, withTrainZeroAndTwelve = false;
    for (const schema::SiteSpec &s : spec.sites) {
        readings += s.readings;
        active += s.active ? 1 : 0;
        withoutTrains = withoutTrains || (s.active && s.trains.empty());
        withTrainZeroAndTwelve =
            withTrainZeroAndTwelve || s.trains == std::vector<int>{0, 1, 2, 12};
        const double days =
            static_cast<double>(s.readings / s.sensorCount()) * s.secondsBetweenReadings / 86400.0;
        EXPECT_GE(days, 1.0);
        EXPECT_LE(days, 7.0);
    }
    EXPECT_EQ(active, 3);
    EXPECT_TRUE(withoutTrains);
    EXPECT_TRUE(withTrainZeroAndTwelve);
    EXPECT_GE(readings, 2000);
    EXPECT_LE(readings, 20000);
    EXPECT_EQ(schema::demoFacilities().size(), 2u);
}
