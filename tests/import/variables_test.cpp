#include "import/StandInFixture.h"
#include "import/VariableRule.h"
#include "support/ServerContext.h"
#include "support/WriteLock.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <utility>

namespace zarn {
namespace {

using test::exclamation;
using test::information;
using test::notice;
using test::Rows;
using test::SensorRow;

class VariablesTest : public test::StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        addSite(1);
    }

    SensorRow sensor(std::int32_t id, std::int32_t type, std::int32_t train)
    {
        SensorRow row;
        row.SensorID = id;
        row.SensorType = type;
        row.TrainNumber = train;
        row.Description = QStringLiteral("Sensor %1").arg(id);
        return row;
    }

    bool importVars(const QString &site = QStringLiteral("1"))
    {
        return importer->ImportVars(site, QStringLiteral("Import test"), QStringLiteral("IMPTEST"));
    }

    // Both "Variables" steps that precede the captions.
    bool runVariables()
    {
        importer->CreateLocations(QStringLiteral("1"));
        return importVars();
    }

    static QString summary(long created, long failed = 0, long existing = 0)
    {
        QString text = QStringLiteral("Created %1 ZARN Variables.\r\n").arg(created);
        if (failed > 0)
            text += QStringLiteral("Failed to create %1 ZARN Variables.").arg(failed);
        if (existing > 0)
            text += QStringLiteral("\r\nOf these, %1 exist already in the facility (a variable "
                                   "of the same location and sensor type) and were left as they "
                                   "are.")
                        .arg(existing);
        return text;
    }

    std::int32_t locIdOf(const QString &key)
    {
        return rows(*facility, QStringLiteral("SELECT LocID FROM LOCATION WHERE UD1=?"), {key})
            .at(0)
            .at(0)
            .toInt32();
    }
};

TEST_F(VariablesTest, ThreeNewSensorsGiveThreeCompleteVariables)
{
    addTrain(1, std::int32_t{1}, QStringLiteral("One"), std::int32_t{1}, std::int32_t{1});
    addTrain(1, std::int32_t{2}, QStringLiteral("Two"), std::int32_t{2}, std::int32_t{1});
    addSensor(1, sensor(11, 1, 1));
    SensorRow second = sensor(12, 2, 1);
    second.Units = QStringLiteral("very long units");
    second.DataType = Value::null();
    addSensor(1, second);
    SensorRow third = sensor(13, 1, 2);
    third.HiHi = third.Hi = third.Lo = third.LoLo = third.MaxDisplay = third.MinDisplay =
        Value::null();
    third.DisplayOrder = Value::null();
    third.Description = Value::null();
    addSensor(1, third);

    const DateTime before = DateTime::now();
    EXPECT_TRUE(runVariables());
    const DateTime after = DateTime::now();
    EXPECT_EQ(ui.messages, (std::vector<Message>{notice(summary(3))}));

    const Rows vars =
        rows(*facility,
             QStringLiteral(
                 "SELECT AuditUser, AuditTimeStamp, VARNUM, UD1, vartype, name, LOCID, "
                 "Units, UD2, UD3, UD4, UD5, UD6, UD7, UD8, UD9, allowsymbol, BARCODE, "
                 "CASCADERULE, CHKROLLOVER, DECPLACES, SYMBOLRULE1, SYMBOLRULE2, "
                 "SYMBOLRULE3, SYMBOLRULE4, SYMBOLRULE5, SYMBOLRULE6, SYMBOLRULE7, "
                 "SYMBOLRULE8, SYMBOLRULE9, SYMBOLRULE10, SHORTNAME, PRIOPERATOR, "
                 "PRIOPPRT, SECOPERATOR, SECOPPRT, DESCRIPTION FROM VARDESC ORDER BY VARNUM"));
    ASSERT_EQ(vars.size(), 3u);
    struct Expected
    {
        int varnum, type;
        QString name;
        std::int32_t locId;
        QString units;
        std::vector<double> limits;
        int displayOrder;
        QString dataType;
    };
    const std::vector<Expected> expected = {{11,
                                             1,
                                             QStringLiteral("Sensor 11"),
                                             locIdOf(QStringLiteral("01")),
                                             QStringLiteral("gpm"),
                                             {95.5, 80.25, 10, 5, 120, -1.5},
                                             3,
                                             QStringLiteral("Analog")},
                                            {12,
                                             2,
                                             QStringLiteral("Sensor 12"),
                                             locIdOf(QStringLiteral("01")),
                                             QStringLiteral("very long "),
                                             {95.5, 80.25, 10, 5, 120, -1.5},
                                             3,
                                             QString()},
                                            {13,
                                             1,
                                             QStringLiteral("Undefined"),
                                             locIdOf(QStringLiteral("02")),
                                             QStringLiteral("gpm"),
                                             {100, 90, 0, 0, 100, 0},
                                             1,
                                             QStringLiteral("Analog")}};
    for (std::size_t i = 0; i < vars.size(); ++i) {
        const auto &v = vars[i];
        const Expected &e = expected[i];
        SCOPED_TRACE(e.varnum);
        EXPECT_EQ(v[0].toText(), QStringLiteral("VT2ZARN"));
        EXPECT_GE(v[1].toDateTime().days(), before.days() - 1.0 / 86400);
        EXPECT_LE(v[1].toDateTime().days(), after.days() + 1.0 / 86400);
        EXPECT_EQ(v[2].toInt32(), e.varnum);
        EXPECT_EQ(v[3].toInt32(), e.type);
        EXPECT_EQ(v[4].toText(), QStringLiteral("1"));
        EXPECT_EQ(v[5].toText(), e.name);
        EXPECT_EQ(v[6].toInt32(), e.locId);
        EXPECT_EQ(v[7].toText(), e.units);
        for (std::size_t l = 0; l < 6; ++l)
            EXPECT_EQ(v[8 + l].toDouble(), e.limits[l]) << "UD" << l + 2;
        EXPECT_EQ(v[14].toInt32(), e.displayOrder);
        EXPECT_EQ(v[15].kind(), Value::Kind::Text);
        EXPECT_EQ(v[15].toText(), e.dataType);
        EXPECT_EQ(v[16].toInt32(), 0);
        EXPECT_EQ(v[17].toText(), QStringLiteral("None"));
        EXPECT_EQ(v[18].toInt32(), 1);
        EXPECT_EQ(v[19].toInt32(), 0);
        EXPECT_EQ(v[20].toInt32(), 2);
        for (std::size_t rule = 21; rule <= 30; ++rule)
            EXPECT_EQ(v[rule].toInt32(), 0) << "SYMBOLRULE" << rule - 20;
        for (std::size_t text = 31; text <= 35; ++text) {
            EXPECT_EQ(v[text].kind(), Value::Kind::Text);
            EXPECT_EQ(v[text].toText(), QString());
        }
        EXPECT_EQ(v[36].toInt32(), 0);
    }
}

TEST_F(VariablesTest, ASecondRunAddsNothingAndCountsEverySensorAsFailed)
{
    addSensor(1, sensor(1, 1, 1));
    addSensor(1, sensor(2, 2, 1));
    EXPECT_TRUE(runVariables());
    ui.messages.clear();
    EXPECT_TRUE(importVars());
    // The Part's two lines, and which of the failed exist already.
    EXPECT_EQ(ui.messages, (std::vector<Message>{notice(summary(0, 2, 2))}));
    EXPECT_TRUE(summary(0, 2, 2).startsWith(QStringLiteral("Created 0 ZARN Variables.\r\nFailed "
                                                           "to create 2 ZARN Variables.\r\nOf "
                                                           "these, 2 exist already")));
    EXPECT_EQ(count(QStringLiteral("VARDESC")), 2);
    // The tally tells the existing variables from failures.
    const VariableTally &tally = importer->tally().variables;
    EXPECT_TRUE(tally.succeeded);
    EXPECT_TRUE(tally.created.empty());
    EXPECT_TRUE(tally.failed.empty());
    ASSERT_EQ(tally.existing.size(), 2u);
    EXPECT_EQ(tally.existing[1].sensorId, QStringLiteral("2"));
    EXPECT_EQ(tally.existing[1].sensorType, QStringLiteral("2"));
    EXPECT_EQ(tally.existing[1].trainNumber, QStringLiteral("1"));
    EXPECT_EQ(tally.existing[1].description, QStringLiteral("Sensor 2"));
    EXPECT_EQ(tally.existing[1].locId, locIdOf(QStringLiteral("01")));
    EXPECT_TRUE(
        variableExists(*facility, static_cast<std::int16_t>(locIdOf(QStringLiteral("01"))), 2));
    EXPECT_FALSE(
        variableExists(*facility, static_cast<std::int16_t>(locIdOf(QStringLiteral("01"))), 3));
}

TEST_F(VariablesTest, ASecondVariablesRunLeavesNoVariableWithoutItsLocation)
{
    for (int train : {1, 2, 12})
        addTrain(1, std::int32_t{train}, QStringLiteral("T%1").arg(train), std::int32_t{train},
                 std::int32_t{1});
    addSensor(1, sensor(1, 1, 1));
    addSensor(1, sensor(2, 1, 2));
    addSensor(1, sensor(3, 1, 12));
    addSensor(1, sensor(4, 2, 12));
    EXPECT_TRUE(runVariables());
    ui.messages.clear();
    EXPECT_TRUE(runVariables());
    EXPECT_EQ(ui.messages, (std::vector<Message>{notice(summary(0, 4, 4))}));
    EXPECT_EQ(count(QStringLiteral("VARDESC")), 4);
    EXPECT_EQ(rows(*facility, QStringLiteral("SELECT COUNT(*) FROM VARDESC WHERE LOCID NOT IN "
                                             "(SELECT LocID FROM LOCATION)"))[0][0]
                  .toInt32(),
              0);
    // Each variable still sits on its sensor's train.
    EXPECT_EQ(rows(*facility, QStringLiteral("SELECT l.UD1 FROM VARDESC v JOIN LOCATION l ON "
                                             "l.LocID=v.LOCID WHERE v.VARNUM=3"))[0][0]
                  .toText(),
              QStringLiteral("12"));
}

TEST_F(VariablesTest, TwoSensorsOfOneTrainWithOneTypeGiveOneVariable)
{
    addSensor(1, sensor(1, 7, 1));
    addSensor(1, sensor(2, 7, 1));
    EXPECT_TRUE(runVariables());
    EXPECT_EQ(ui.messages, (std::vector<Message>{notice(summary(1, 1, 1))}));
    EXPECT_EQ(rows(*facility, QStringLiteral("SELECT VARNUM FROM VARDESC"))[0][0].toInt32(), 1);
}

TEST_F(VariablesTest, ASiteWithoutSensorsIsToldSoBeforeTheSummary)
{
    EXPECT_TRUE(runVariables());
    EXPECT_EQ(ui.messages,
              (std::vector<Message>{
                  notice(QStringLiteral("This Vantrel site does not have any sensors defined.")),
                  notice(summary(0))}));
}

TEST_F(VariablesTest, ASiteMissingFromSystemsCreatesNothing)
{
    addSensor(1, sensor(1, 1, 1));
    EXPECT_FALSE(importVars(QStringLiteral("2")));
    EXPECT_EQ(ui.messages, (std::vector<Message>{information(QStringLiteral(
                               "ZARN Vantrel DB Importer cannot find sensors table for 2."))}));
    EXPECT_FALSE(importVars(QStringLiteral("1' OR '1'='1")));
    EXPECT_EQ(count(QStringLiteral("VARDESC")), 0);
    EXPECT_TRUE(importer->tally().variables.ran);
    EXPECT_FALSE(importer->tally().variables.succeeded);
    EXPECT_FALSE(importer->tally().variables.failure.isEmpty());
}

TEST_F(VariablesTest, AnUnusableSensorsTableNameFailsTheStep)
{
    addSite(2, QStringLiteral("DATA_2"), QStringLiteral("SENSORS_1 UNION SELECT 1"));
    EXPECT_FALSE(importVars(QStringLiteral("2")));
    EXPECT_EQ(
        ui.messages,
        (std::vector<Message>{
            exclamation(QStringLiteral("Program was unable to get Vantrel Sensor Definitions")),
            exclamation(QStringLiteral("Program was unable to import the variables into ZARN"))}));
}

TEST_F(VariablesTest, ARowThatCannotBeBuiltIsSkippedAndCountedAsFailed)
{
    addSensor(1, sensor(1, 1, 1));
    SensorRow noId = sensor(2, 2, 1);
    noId.SensorID = Value::null();
    addSensor(1, noId);
    SensorRow hugeType = sensor(3, 40000, 1);
    addSensor(1, hugeType);
    EXPECT_TRUE(runVariables());
    const Message buildFailure =
        exclamation(QStringLiteral("Program was unable to create a Vantrel Sensor from recordset"));
    EXPECT_EQ(std::count(ui.messages.begin(), ui.messages.end(), buildFailure), 2);
    EXPECT_EQ(ui.messages.back(), notice(summary(1, 2)));
    const VariableTally &tally = importer->tally().variables;
    ASSERT_EQ(tally.failed.size(), 2u);
    // Ordered by train number and description: "Sensor 2" and "Sensor 3".
    EXPECT_EQ(tally.failed[0].sensorId, QString());
    EXPECT_EQ(tally.failed[0].description, QStringLiteral("Sensor 2"));
    EXPECT_EQ(tally.failed[0].reason, QStringLiteral("SensorID: Invalid use of Null"));
    EXPECT_EQ(tally.failed[1].sensorType, QStringLiteral("40000"));
    EXPECT_EQ(tally.failed[1].reason, QStringLiteral("SensorType: Overflow"));
    ASSERT_EQ(tally.created.size(), 1u);
    EXPECT_EQ(tally.created[0].sensorId, QStringLiteral("1"));
    EXPECT_TRUE(tally.existing.empty());
    EXPECT_EQ(rows(*facility, QStringLiteral("SELECT VARNUM FROM VARDESC"))[0][0].toInt32(), 1);
    EXPECT_EQ(count(QStringLiteral("VARDESC")), 1);
}

TEST_F(VariablesTest, ARefusedVariableIsReportedAndTheNextSensorStillImported)
{
    facility->Execute(QStringLiteral("CREATE UNIQUE INDEX vardesc_name ON VARDESC (name)"));
    SensorRow first = sensor(1, 1, 1);
    SensorRow twin = sensor(2, 2, 1);
    twin.Description = first.Description;
    addSensor(1, first);
    addSensor(1, twin);
    addSensor(1, sensor(3, 3, 1));
    EXPECT_TRUE(runVariables());
    EXPECT_EQ(ui.messages,
              (std::vector<Message>{
                  exclamation(QStringLiteral("Program was unable to create ZARN variable from "
                                             "Vantrel Sensor")),
                  notice(summary(2, 1))}));
    EXPECT_EQ(count(QStringLiteral("VARDESC")), 2);
    const VariableTally &tally = importer->tally().variables;
    ASSERT_EQ(tally.failed.size(), 1u);
    EXPECT_EQ(tally.failed[0].sensorId, QStringLiteral("2"));
    EXPECT_FALSE(tally.failed[0].reason.isEmpty()); // the server's own text
    EXPECT_EQ(tally.created.size(), 2u);
}

// Under another writer's lasting lock each step gives up after its first time-out, instead of
// waiting the time-out over again for every sensor.
TEST_F(VariablesTest, UnderALastingLockEachStepFailsAtItsFirstTimeOut)
{
    for (std::int32_t id = 1; id <= 5; ++id)
        addSensor(1, sensor(id, id, 1));
    setFacilityCommandTimeout(1);
    test::WriteLock lock(
        server->catalogConnectionString(QStringLiteral("IMPTEST")),
        {QStringLiteral("LOCATION"), QStringLiteral("VARDESC"), QStringLiteral("UDCaps")});

    EXPECT_FALSE(importer->CreateLocations(QStringLiteral("1")));
    EXPECT_FALSE(importVars());
    importer->UpdateUDCaps();
    EXPECT_EQ(
        ui.messages,
        (std::vector<Message>{
            exclamation(QStringLiteral("Program was unable to create locations")),
            exclamation(QStringLiteral("Program was unable to create ZARN variable from Vantrel "
                                       "Sensor")),
            exclamation(QStringLiteral("Program was unable to import the variables into ZARN")),
            exclamation(QStringLiteral("Program was unable to update User Defined Captions"))}));
    const ImportTally &tally = importer->tally();
    EXPECT_FALSE(tally.variables.succeeded);
    ASSERT_EQ(tally.variables.failed.size(), 1u);
    EXPECT_EQ(tally.variables.failed[0].reason, tally.variables.failure);
    EXPECT_TRUE(tally.variables.created.empty());
    EXPECT_FALSE(tally.captions.succeeded);
    EXPECT_TRUE(tally.captions.written.empty());
    EXPECT_EQ(ui.details.size(), 3u);

    lock.release();
    EXPECT_EQ(count(QStringLiteral("VARDESC")), 0);
    EXPECT_EQ(count(QStringLiteral("LOCATION")), 0);
}

// The server ends the facility's connection in the middle of "Variables" (after the message of
// the first sensor, whose row cannot be built): the step ends at the next sensor, with one
// message for it, instead of one for every sensor left.
TEST_F(VariablesTest, ALostConnectionEndsTheStepAtItsFirstFailure)
{
    if (test::serverUnderTest() == QLatin1String("sqlite"))
        GTEST_SKIP() << "an embedded database has no connection to lose";
    SensorRow noId = sensor(1, 1, 1);
    noId.SensorID = Value::null();
    addSensor(1, noId);
    for (std::int32_t id = 2; id <= 5; ++id)
        addSensor(1, sensor(id, id, 1));
    EXPECT_TRUE(importer->CreateLocations(QStringLiteral("1")));

    struct EndingUserInterface : test::RecordingUserInterface
    {
        std::function<void()> atFirstMessage;
        void showMessage(const Message &message) override
        {
            RecordingUserInterface::showMessage(message);
            if (atFirstMessage)
                std::exchange(atFirstMessage, nullptr)();
        }
    } endingUi;
    endingUi.atFirstMessage = [&] { test::serverContext().endConnection(*facility, *root); };
    Importer run(endingUi, databaseKind);
    run.Init(*source, *facility, *root, QStringLiteral("IMPTEST"));
    EXPECT_FALSE(run.ImportVars(QStringLiteral("1"), QStringLiteral("Import test"),
                                QStringLiteral("IMPTEST")));

    const Message buildFailure =
        exclamation(QStringLiteral("Program was unable to create a Vantrel Sensor from recordset"));
    EXPECT_EQ(endingUi.messages,
              (std::vector<Message>{
                  buildFailure, buildFailure,
                  exclamation(QStringLiteral("Program was unable to import the variables into "
                                             "ZARN"))}));
    const VariableTally &tally = run.tally().variables;
    EXPECT_FALSE(tally.succeeded);
    ASSERT_EQ(tally.failed.size(), 2u);
    EXPECT_EQ(tally.failed[1].sensorId, QStringLiteral("2"));
    EXPECT_FALSE(tally.failure.isEmpty());
    EXPECT_TRUE(tally.created.empty());
}

// Two sites whose trains and sensors have the same numbers and types, imported into one
// facility: site 1 ("North 1", "North 2") with sensors 101 to 103, site 2 ("South 1", "South 2")
// with sensors 201 to 203. Each sensor logged three readings on 5 March 2024, an hour apart.
class TwoSitesTest : public test::StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        if (HasFatalFailure())
            return;
        importer->setProgressInterval(std::chrono::milliseconds(0));
        for (int site : {1, 2}) {
            addSite(site);
            const QString prefix = site == 1 ? QStringLiteral("North") : QStringLiteral("South");
            for (std::int32_t train : {1, 2})
                addTrain(site, train, QStringLiteral("%1 %2").arg(prefix).arg(train), train,
                         std::int32_t{1});
            const int kinds[][2] = {{1, 1}, {2, 1}, {1, 2}}; // type, train
            int id = site * 100;
            for (const auto &[type, train] : kinds) {
                SensorRow row;
                row.SensorID = std::int32_t{++id};
                row.SensorType = std::int32_t{type};
                row.TrainNumber = std::int32_t{train};
                row.Description = QStringLiteral("Sensor %1").arg(id);
                addSensor(site, row);
                for (int minute = 0; minute < 3; ++minute)
                    addReading(site, type, train, id + minute / 10.0,
                               DateTime::fromParts(2024, 3, 5, 10 + minute, 10 * type + train));
            }
        }
    }

    bool runVariables(int site)
    {
        const QString id = QString::number(site);
        importer->CreateLocations(id);
        return importer->ImportVars(id, QStringLiteral("Import test"), QStringLiteral("IMPTEST"));
    }

    bool runData(int site)
    {
        return importer->ImportData(DateTime::fromParts(2024, 3, 5),
                                    DateTime::fromParts(2024, 3, 6), QString::number(site),
                                    QStringLiteral("Import test"), QStringLiteral("IMPTEST"));
    }

    // VARNUM -> readings stored in its variables.
    std::map<std::int32_t, std::int32_t> readingsPerSensor()
    {
        std::map<std::int32_t, std::int32_t> result;
        for (const auto &row :
             rows(*facility, QStringLiteral("SELECT v.VARNUM, COUNT(*) FROM DD1_VALUES d JOIN "
                                            "VARDESC v ON v.VARID=d.varid GROUP BY v.VARNUM")))
            result[row[0].toInt32()] = row[1].toInt32();
        return result;
    }

    // Variables whose location is gone.
    long orphans()
    {
        return rows(*facility, QStringLiteral("SELECT COUNT(*) FROM VARDESC WHERE LOCID NOT IN "
                                              "(SELECT LocID FROM LOCATION)"))[0][0]
            .toInt32();
    }

    // The sensor of each variable with the name of its location, "-" for a location gone.
    std::multimap<std::int32_t, QString> variablePlaces()
    {
        std::multimap<std::int32_t, QString> result;
        for (const auto &row :
             rows(*facility, QStringLiteral("SELECT v.VARNUM, l.Location FROM VARDESC v LEFT "
                                            "JOIN LOCATION l ON l.LocID=v.LOCID")))
            result.emplace(row[0].toInt32(),
                           row[1].isNull() ? QStringLiteral("-") : row[1].toText());
        return result;
    }
};

TEST_F(TwoSitesTest, TheSecondSiteGetsItsOwnLocationsVariablesAndReadings)
{
    ASSERT_TRUE(runVariables(1));
    ASSERT_TRUE(runData(1));
    ui.messages.clear();

    ASSERT_TRUE(runVariables(2));
    EXPECT_EQ(ui.messages, (std::vector<Message>{notice(QStringLiteral("Created 3 ZARN "
                                                                       "Variables.\r\n"))}));
    const ImportTally &tally = importer->tally();
    EXPECT_EQ(tally.locations.removed.size(), 2u);
    EXPECT_EQ(tally.locations.added.size(), 2u);
    EXPECT_TRUE(tally.locations.kept.empty());
    EXPECT_EQ(tally.variables.created.size(), 3u);
    ASSERT_TRUE(runData(2));

    // Site 1's variables stay, without their locations, which site 2's replaced.
    EXPECT_EQ(variablePlaces(),
              (std::multimap<std::int32_t, QString>{{101, QStringLiteral("-")},
                                                    {102, QStringLiteral("-")},
                                                    {103, QStringLiteral("-")},
                                                    {201, QStringLiteral("South 1")},
                                                    {202, QStringLiteral("South 1")},
                                                    {203, QStringLiteral("South 2")}}));
    EXPECT_EQ(readingsPerSensor(),
              (std::map<std::int32_t, std::int32_t>{
                  {101, 3}, {102, 3}, {103, 3}, {201, 3}, {202, 3}, {203, 3}}));
}

TEST_F(TwoSitesTest, ASiteImportedTwiceDuplicatesAndOrphansNothing)
{
    ASSERT_TRUE(runVariables(1));
    ASSERT_TRUE(runData(1));
    const std::multimap<std::int32_t, QString> first = variablePlaces();
    ui.messages.clear();

    ASSERT_TRUE(runVariables(1));
    ASSERT_TRUE(runData(1));
    EXPECT_EQ(ui.messages.front(),
              notice(QStringLiteral(
                  "Created 0 ZARN Variables.\r\nFailed to create 3 ZARN Variables.\r\nOf "
                  "these, 3 exist already in the facility (a variable of the same location and "
                  "sensor type) and were left as they are.")));
    EXPECT_EQ(variablePlaces(), first);
    EXPECT_EQ(orphans(), 0);
    EXPECT_EQ(count(QStringLiteral("LOCATION")), 2);
    EXPECT_EQ(readingsPerSensor(),
              (std::map<std::int32_t, std::int32_t>{{101, 3}, {102, 3}, {103, 3}}));
    const ImportTally &tally = importer->tally();
    EXPECT_EQ(tally.locations.kept.size(), 2u);
    EXPECT_TRUE(tally.locations.added.empty() && tally.locations.removed.empty());
    EXPECT_EQ(tally.variables.existing.size(), 3u);
}

// A renamed train is another train: its location is new, and its sensors get new variables
// there, while their old variables stay behind without a location.
TEST_F(TwoSitesTest, ARenamedTrainGetsANewLocationAndItsSensorsNewVariables)
{
    ASSERT_TRUE(runVariables(1));
    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainName='North Two' WHERE SiteID=1 AND "
                                   "TrainNumber=2"));
    ui.messages.clear();
    ASSERT_TRUE(runVariables(1));
    EXPECT_EQ(ui.messages,
              (std::vector<Message>{notice(QStringLiteral(
                  "Created 1 ZARN Variables.\r\nFailed to create 2 ZARN Variables.\r\nOf "
                  "these, 2 exist already in the facility (a variable of the same location and "
                  "sensor type) and were left as they are."))}));
    EXPECT_EQ(variablePlaces(),
              (std::multimap<std::int32_t, QString>{{101, QStringLiteral("North 1")},
                                                    {102, QStringLiteral("North 1")},
                                                    {103, QStringLiteral("-")},
                                                    {103, QStringLiteral("North Two")}}));
    EXPECT_EQ(orphans(), 1);
    ASSERT_TRUE(runData(1));
    EXPECT_EQ(count(QStringLiteral("DD1_VALUES")), 9);
}

} // namespace
} // namespace zarn
