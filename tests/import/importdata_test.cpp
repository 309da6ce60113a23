#include "facility/DataStoreSupport.h"
#include "import/StandInFixture.h"

#include <QDateTime>
#include <QTimeZone>
#include <limits>
#include <map>
#include <utility>

namespace zarn::test {
namespace {

using namespace std::chrono_literals;

const QString inserted = QStringLiteral("Inserted %1 data records into ZARN database.");
const QString noData = QStringLiteral("This site has no data for the date ranges that you chose");
const QString failed = QStringLiteral("Program was unable to import the data into ZARN");

DateTime on5March(int hour, int minute, int second = 0, int ms = 0)
{
    return DateTime::fromParts(2024, 3, 5, hour, minute, second, ms);
}

// One call of the one-minute write procedure as the facility received it.
struct LoggedWrite
{
    std::int32_t varId;
    DateTime slotStart, slotEnd, stamp;
    double value;
    QString text, auditUser;
    std::int32_t status;
};

// A site (id 1) whose sensors of type 1 on train 1 and type 2 on train 1 have ZARN variables,
// while type 3 on train 1 has none.
class ImportData : public StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        if (HasFatalFailure())
            return;
        addSite(1);
        addSensor(1, sensor(1, 1, 101));
        addSensor(1, sensor(2, 1, 102));
        addSensor(1, sensor(3, 1, 103));
        firstVariable = addVariable(101);
        secondVariable = addVariable(102);
        importer->setProgressInterval(0ms);
    }

    static SensorRow sensor(int type, int train, int id)
    {
        SensorRow row;
        row.SensorType = std::int32_t{type};
        row.TrainNumber = std::int32_t{train};
        row.SensorID = std::int32_t{id};
        row.Description = QStringLiteral("Sensor %1").arg(id);
        return row;
    }

    std::int32_t addVariable(int sensorId)
    {
        facility->Execute(QStringLiteral("INSERT INTO VARDESC (VARNUM, name) VALUES (?, ?)"),
                          {std::int32_t{sensorId}, QStringLiteral("Variable %1").arg(sensorId)});
        return scalar(*facility, QStringLiteral("SELECT VARID FROM VARDESC WHERE VARNUM = ?"),
                      {std::int32_t{sensorId}})
            .toInt32();
    }

    void addReadingValue(int sensorType, const Value &data, DateTime at)
    {
        source->Execute(QStringLiteral("INSERT INTO DATA_1 (SensorType, TrainNumber, Data, "
                                       "TimeDate) VALUES (?, 1, ?, ?)"),
                        {std::int32_t{sensorType}, data, at});
    }

    bool importDay(DateTime from = on5March(0, 0), DateTime to = DateTime::fromParts(2024, 3, 6))
    {
        return importer->ImportData(from, to, QStringLiteral("1"), QStringLiteral("Import test"),
                                    QStringLiteral("IMPTEST"));
    }

    // Replaces the one-minute write procedure with one that logs each call, in order, with every
    // input; like the real one it refuses nothing else.
    void logWrites()
    {
        serverContext().runOwnScript(
            *facility,
            {QStringLiteral(
                 "CREATE TABLE write_log (n INTEGER PRIMARY KEY AUTOINCREMENT, varid INTEGER, "
                 "slotstart DATETIME, slotend DATETIME, stamp DATETIME, value REAL, "
                 "textvalue VARCHAR(255), audituser VARCHAR(50), status INTEGER); "
                 "UPDATE stored_procedures SET body = 'INSERT INTO write_log (varid, slotstart, "
                 "slotend, stamp, value, textvalue, audituser, status) VALUES (:varid, "
                 ":slotstarttime, :slotendtime, :date, :value, :textvalue, :audituser, :status)' "
                 "WHERE name = 'WRITEDD1'"),
             QStringLiteral(
                 "CREATE TABLE write_log (n serial PRIMARY KEY, varid integer, "
                 "slotstart timestamp, slotend timestamp, stamp timestamp, "
                 "value double precision, textvalue varchar(255), audituser varchar(50), "
                 "status integer); "
                 "CREATE OR REPLACE FUNCTION WRITEDD1(IN date timestamp, IN varid integer, "
                 "IN value double precision, IN textvalue varchar, IN audituser varchar, "
                 "IN slotstarttime timestamp, IN slotendtime timestamp, IN status integer) "
                 "RETURNS void LANGUAGE sql AS $$ INSERT INTO write_log (varid, slotstart, "
                 "slotend, stamp, value, textvalue, audituser, status) "
                 "VALUES ($2, $6, $7, $1, $3, $4, $5, $8) $$"),
             QStringLiteral(
                 "CREATE TABLE write_log (n INTEGER AUTO_INCREMENT PRIMARY KEY, varid INTEGER, "
                 "slotstart DATETIME(3), slotend DATETIME(3), stamp DATETIME(3), value DOUBLE, "
                 "textvalue VARCHAR(255), audituser VARCHAR(50), status INTEGER); "
                 "DROP PROCEDURE WRITEDD1; "
                 "CREATE PROCEDURE WRITEDD1(IN date DATETIME(3), IN varid INTEGER, "
                 "IN value DOUBLE, IN textvalue VARCHAR(255), IN audituser VARCHAR(50), "
                 "IN slotstarttime DATETIME(3), IN slotendtime DATETIME(3), IN status INTEGER) "
                 "INSERT INTO write_log (varid, slotstart, slotend, stamp, value, textvalue, "
                 "audituser, status) VALUES (varid, slotstarttime, slotendtime, date, value, "
                 "textvalue, audituser, status)")});
    }

    std::vector<LoggedWrite> loggedWrites()
    {
        std::vector<LoggedWrite> writes;
        for (const auto &row :
             rows(*facility, QStringLiteral("SELECT varid, slotstart, slotend, stamp, value, "
                                            "textvalue, audituser, status FROM write_log "
                                            "ORDER BY n")))
            writes.push_back({row[0].toInt32(), row[1].toDateTime(), row[2].toDateTime(),
                              row[3].toDateTime(), row[4].toDouble(), row[5].toText(),
                              row[6].toText(), row[7].toInt32()});
        return writes;
    }

    // The values the store holds, in the order of their slots.
    std::vector<double> storedValues()
    {
        std::vector<double> values;
        for (const auto &row : rows(*facility, QStringLiteral("SELECT curvalue FROM DD1_VALUES "
                                                              "ORDER BY slotstarttime")))
            values.push_back(row[0].toDouble());
        return values;
    }

    std::int32_t firstVariable = 0;
    std::int32_t secondVariable = 0;
};

TEST_F(ImportData, BoundsAreStrictAndEachReadingKeepsItsOwnTimeStamp)
{
    logWrites();
    addReadingValue(1, 1.0, on5March(0, 0));
    addReadingValue(1, 12.5, on5March(10, 15, 42));
    addReadingValue(1, 3.0, DateTime::fromParts(2024, 3, 6));

    EXPECT_TRUE(importDay());
    const auto writes = loggedWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].varId, firstVariable);
    EXPECT_EQ(writes[0].slotStart, on5March(10, 15));
    EXPECT_EQ(writes[0].slotEnd, on5March(10, 16));
    EXPECT_EQ(writes[0].stamp, on5March(10, 15, 42));
    EXPECT_EQ(writes[0].value, 12.5);
    EXPECT_EQ(writes[0].text, QStringLiteral("12.5"));
    EXPECT_EQ(writes[0].auditUser, QStringLiteral("VT2ZRANS"));
    EXPECT_EQ(writes[0].status, 0);
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(1))});
    EXPECT_FALSE(ui.progressVisible);
}

TEST_F(ImportData, TwoReadingsOfOneMinuteAreBothWrittenInTheirOrder)
{
    logWrites();
    addReadingValue(1, 1.0, on5March(10, 15, 10));
    addReadingValue(1, 2.0, on5March(10, 15, 50));
    EXPECT_TRUE(importDay());
    const auto writes = loggedWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].stamp, on5March(10, 15, 10));
    EXPECT_EQ(writes[1].stamp, on5March(10, 15, 50));
    EXPECT_EQ(writes[0].slotStart, writes[1].slotStart);
    EXPECT_EQ(ui.messages.back(), notice(inserted.arg(2)));
}

TEST_F(ImportData, ReadingsWithoutAVariablePassUnseen)
{
    addReadingValue(3, 1.0, on5March(10, 0)); // sensor without a variable
    addReadingValue(2, 2.0, on5March(10, 1));
    addReadingValue(9, 3.0, on5March(10, 2)); // no such sensor
    EXPECT_TRUE(importDay());
    const Rows stored = rows(*facility, QStringLiteral("SELECT varid, slotstarttime, curvalue "
                                                       "FROM DD1_VALUES"));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0][0].toInt32(), secondVariable);
    EXPECT_EQ(stored[0][1].toDateTime(), on5March(10, 1));
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(1))});
}

TEST_F(ImportData, ARangeWithoutReadingsSaysSoWithoutAProgressBar)
{
    addReadingValue(1, 1.0, on5March(10, 0));
    EXPECT_TRUE(importDay(DateTime::fromParts(2024, 3, 6), DateTime::fromParts(2024, 3, 7)));
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(noData)});
    EXPECT_FALSE(ui.progressShown);
    EXPECT_EQ(count(QStringLiteral("DD1_VALUES")), 0);
}

TEST_F(ImportData, ProgressFollowsTheReadingsWrittenSoFar)
{
    addReadingValue(3, 1.0, on5March(10, 0));
    addReadingValue(1, 2.0, on5March(10, 1));
    addReadingValue(3, 3.0, on5March(10, 2));
    EXPECT_TRUE(importDay());
    // Shown after each reading, and once more after the last.
    EXPECT_EQ(ui.progressValues, (std::vector<int>{0, 33, 33, 33}));
    EXPECT_EQ(ui.progressMax, 100);
    EXPECT_TRUE(ui.progressShown);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(1))});
}

TEST_F(ImportData, ANullReadingStopsTheImportAfterTheReadingsBeforeIt)
{
    addReadingValue(1, 1.0, on5March(10, 0));
    addReadingValue(1, 2.0, on5March(10, 1));
    addReadingValue(1, Value::null(), on5March(10, 2));
    addReadingValue(1, 4.0, on5March(10, 3));
    EXPECT_FALSE(importDay());
    EXPECT_EQ(storedValues(), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(ui.messages, std::vector<Message>{exclamation(failed)});
    EXPECT_TRUE(ui.progressVisible);
}

// A refused value stops the import; every reading before it is stored and none after it,
// wherever it falls among the flushes and commits of the writes.
TEST_F(ImportData, AFailingWriteKeepsExactlyTheReadingsBeforeIt)
{
    refuseValue(*facility, 666);
    const int readings = 7000;
    const int refusedAt = 6500;
    source->provider().beginTransaction();
    for (int i = 0; i < readings; ++i)
        addReadingValue(1, i == refusedAt ? 666.0 : i + 0.5, // one reading a minute
                        DateTime::fromParts(2024, 3, 5 + i / 1440, i % 1440 / 60, i % 60));
    source->provider().commit();

    for (const auto interval : {0ms, 3600000ms}) {
        ui = RecordingUserInterface();
        facility->Execute(QStringLiteral("DELETE FROM DD1_VALUES"));
        importer->setProgressInterval(interval);
        EXPECT_FALSE(importDay(DateTime::fromParts(2024, 3, 4), DateTime::fromParts(2024, 3, 12)));
        const std::vector<double> values = storedValues();
        ASSERT_EQ(values.size(), static_cast<std::size_t>(refusedAt));
        for (int i = 0; i < refusedAt; ++i)
            ASSERT_EQ(values[i], i + 0.5) << "reading " << i;
        EXPECT_EQ(ui.messages, std::vector<Message>{exclamation(failed)});

        // The refused reading is named, though the writer learnt of it only at its flush.
        const DataTally &tally = importer->tally().data;
        ASSERT_TRUE(tally.failure);
        EXPECT_EQ(tally.failure->position, refusedAt + 1);
        EXPECT_EQ(tally.failure->stored, refusedAt);
        EXPECT_EQ(tally.failure->readingKey, QStringLiteral("1_1"));
        EXPECT_EQ(tally.failure->value, QStringLiteral("666"));
        EXPECT_EQ(tally.failure->timeStamp, QStringLiteral("2024-03-09 12:20:00"));
        EXPECT_FALSE(tally.failure->serverText.isEmpty());
        EXPECT_EQ(tally.written, refusedAt);
        ASSERT_EQ(tally.perVariable.size(), 2u);
        EXPECT_EQ(tally.perVariable[0].count, refusedAt);
        EXPECT_FALSE(tally.succeeded);
        ASSERT_FALSE(ui.details.empty());
        EXPECT_TRUE(ui.details.back().contains(tally.failure->serverText));
    }
}

TEST_F(ImportData, AFailingWriteInTheFirstFlushKeepsTheReadingsBeforeIt)
{
    refuseValue(*facility, 666);
    addReadingValue(1, 1.0, on5March(10, 0));
    addReadingValue(2, 2.0, on5March(10, 1));
    addReadingValue(1, 666.0, on5March(10, 2));
    addReadingValue(1, 4.0, on5March(10, 3));
    EXPECT_FALSE(importDay());
    EXPECT_EQ(storedValues(), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(ui.messages, std::vector<Message>{exclamation(failed)});
}

// A facility whose write procedure is a SQL-language function (PostgreSQL): the same readings
// land, in source order, across more than one batch of calls, the later of two readings of
// one slot staying.
TEST_F(ImportData, ASqlLanguageWriteProcedureStoresTheSameReadings)
{
    if (!schema::hasSchemaScript(schema::serverKindOf(facility->connectionString()),
                                 QStringLiteral("dailydata_sqlwrite")))
        GTEST_SKIP() << "the SQL-language stand-in procedure is PostgreSQL's";
    schema::runSchemaScript(*facility, QStringLiteral("dailydata_sqlwrite"),
                            {{QStringLiteral("CODE"), QStringLiteral("1")}});
    const int readings = 4500;
    source->provider().beginTransaction();
    for (int i = 0; i < readings; ++i) // two readings a minute, 20 s apart
        addReadingValue(1, i + 0.25,
                        DateTime::fromParts(2024, 3, 5 + i / 2880, i % 2880 / 120, i / 2 % 60,
                                            i % 2 * 20, i % 1000));
    source->provider().commit();
    EXPECT_TRUE(importDay(DateTime::fromParts(2024, 3, 4), DateTime::fromParts(2024, 3, 12)));
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(readings))});
    const std::vector<double> values = storedValues();
    ASSERT_EQ(values.size(), static_cast<std::size_t>(readings / 2));
    for (int slot = 0; slot < readings / 2; ++slot)
        ASSERT_EQ(values[slot], 2 * slot + 1 + 0.25) << "slot " << slot;
    const Rows stamps =
        rows(*facility, QStringLiteral("SELECT datestamp FROM DD1_VALUES ORDER BY slotstarttime"));
    for (int slot = 0; slot < readings / 2; ++slot) {
        const int i = 2 * slot + 1;
        ASSERT_EQ(
            stamps[slot][0].toDateTime(),
            DateTime::fromParts(2024, 3, 5 + i / 2880, i % 2880 / 120, i / 2 % 60, 20, i % 1000))
            << "slot " << slot;
    }
}

// A look-up that fails is not one that finds nothing: the import fails before any reading is
// written, and the batch mode learns the server's own text.
TEST_F(ImportData, AFailingVariableLookUpFailsTheImportBeforeAnyReading)
{
    addReadingValue(1, 1.0, on5March(10, 0));
    addReadingValue(2, 2.0, on5March(10, 1));
    dal::Connection impatient;
    impatient.setConnectionString(server->catalogConnectionString(QStringLiteral("IMPTEST")));
    impatient.setCommandTimeout(1);
    impatient.Open();
    std::unique_ptr<dal::Connection> blocker = serverContext().blockReadsOf(
        server->catalogConnectionString(QStringLiteral("IMPTEST")), QStringLiteral("VARDESC"));
    importer->Init(*source, impatient, *root, QStringLiteral("IMPTEST"));

    EXPECT_FALSE(importDay());
    blocker.reset();
    EXPECT_EQ(count(QStringLiteral("DD1_VALUES")), 0);
    EXPECT_EQ(ui.messages, std::vector<Message>{exclamation(failed)});
    EXPECT_FALSE(ui.progressShown);
    const DataTally &tally = importer->tally().data;
    ASSERT_TRUE(tally.failure);
    EXPECT_EQ(tally.failure->position, 0);
    EXPECT_FALSE(tally.failure->serverText.isEmpty());
    ASSERT_EQ(ui.details.size(), 1u);
    EXPECT_TRUE(ui.details[0].contains(tally.failure->serverText));
    EXPECT_TRUE(ui.details[0].endsWith(": " + tally.failure->reason));
}

// One variable cannot tell two sensors' readings apart: neither sensor's readings are written,
// the other sensors' are.
TEST_F(ImportData, TwoSensorsWithOneSensorIdAreBothPassedOver)
{
    SensorRow twin = sensor(4, 1, 101);
    twin.Description = QStringLiteral("Twin of 101");
    addSensor(1, twin);
    addReadingValue(1, 1.0, on5March(10, 0));
    addReadingValue(4, 4.0, on5March(10, 1));
    addReadingValue(2, 2.0, on5March(10, 2));
    addReadingValue(4, 4.5, on5March(10, 3));

    EXPECT_TRUE(importDay());
    EXPECT_EQ(storedValues(), std::vector<double>{2.0});
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(1))});
    ASSERT_EQ(ui.details.size(), 1u);
    EXPECT_TRUE(ui.details[0].contains(QStringLiteral("SensorID 101")));
    EXPECT_TRUE(ui.details[0].contains(QStringLiteral("1_1 (Sensor 101)")));
    EXPECT_TRUE(ui.details[0].contains(QStringLiteral("4_1 (Twin of 101)")));

    const DataTally &tally = importer->tally().data;
    ASSERT_EQ(tally.perVariable.size(), 1u);
    EXPECT_EQ(tally.perVariable[0].readingKey, QStringLiteral("2_1"));
    std::map<QString, std::pair<std::int64_t, QString>> passedOver;
    for (const PassedOverReadings &p : tally.passedOver)
        passedOver[p.readingKey] = {p.count, p.reason};
    const QString duplicate = QStringLiteral("duplicate SensorID 101");
    EXPECT_EQ(passedOver[QStringLiteral("1_1")], std::pair(std::int64_t{1}, duplicate));
    EXPECT_EQ(passedOver[QStringLiteral("4_1")], std::pair(std::int64_t{2}, duplicate));
}

// No variable can have such a SensorID, so its sensor has none: its readings are passed over
// and the others land.
TEST_F(ImportData, ASensorIdOutOfRangeOrNullPassesOverItsReadingsOnly)
{
    addSensor(1, sensor(5, 1, 40000));
    SensorRow unnumbered = sensor(6, 1, 0);
    unnumbered.SensorID = Value::null();
    addSensor(1, unnumbered);
    addReadingValue(5, 5.0, on5March(10, 0));
    addReadingValue(1, 1.0, on5March(10, 1));
    addReadingValue(6, 6.0, on5March(10, 2));
    addReadingValue(2, 2.0, on5March(10, 3));

    EXPECT_TRUE(importDay());
    EXPECT_EQ(storedValues(), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(2))});
    EXPECT_EQ(ui.details.size(), 2u);
    std::map<QString, QString> reasons;
    for (const PassedOverReadings &p : importer->tally().data.passedOver) {
        reasons[p.readingKey] = p.reason;
        EXPECT_EQ(p.count, p.readingKey == QStringLiteral("3_1") ? 0 : 1)
            << p.readingKey.toStdString();
    }
    EXPECT_EQ(reasons[QStringLiteral("5_1")], QStringLiteral("SensorID 40000 out of range"));
    EXPECT_EQ(reasons[QStringLiteral("6_1")], QStringLiteral("SensorID Null"));
    EXPECT_EQ(reasons[QStringLiteral("3_1")], QStringLiteral("no variable"));
}

// A value or a time stamp that does not convert ends the import after the readings before it;
// which one it was, and how many were stored, is said beside the message.
TEST_F(ImportData, ABadReadingStopsTheImportAndIsNamed)
{
    struct Bad
    {
        Value data;
        Value stamp;
        QString valueAsRead, stampAsRead;
    };
    std::vector<Bad> cases{{Value::null(), on5March(10, 2), QStringLiteral("Null"),
                            QStringLiteral("2024-03-05 10:02:00")}};
    // A source whose columns keep their declared kinds holds only numbers and time stamps.
    if (serverContext().columnsKeepAnyKind()) {
        const QString stamp = QStringLiteral("2024-03-05 10:02:00");
        for (const char *text : {"abc", "1,5"})
            cases.push_back({QString::fromLatin1(text), stamp, QString::fromLatin1(text), stamp});
        for (const char *text : {"2024-03-05 10:61:00", "2024-03-05 10:02:00+05:00"})
            cases.push_back(
                {3.0, QString::fromLatin1(text), QStringLiteral("3"), QString::fromLatin1(text)});
    }
    for (const Bad &bad : cases) {
        SCOPED_TRACE(bad.valueAsRead.toStdString() + " at " + bad.stampAsRead.toStdString());
        source->Execute(QStringLiteral("DELETE FROM DATA_1"));
        facility->Execute(QStringLiteral("DELETE FROM DD1_VALUES"));
        ui = RecordingUserInterface();
        addReadingValue(1, 1.0, on5March(10, 0));
        addReadingValue(3, 9.0, on5March(10, 0, 30)); // passed over, yet counted in the position
        addReadingValue(2, 2.0, on5March(10, 1));
        source->Execute(QStringLiteral("INSERT INTO DATA_1 (SensorType, TrainNumber, Data, "
                                       "TimeDate) VALUES (1, 1, ?, ?)"),
                        {bad.data, bad.stamp});
        addReadingValue(1, 4.0, on5March(11, 0)); // after each bad stamp, as text too

        EXPECT_FALSE(importDay());
        EXPECT_EQ(storedValues(), (std::vector<double>{1.0, 2.0}));
        EXPECT_EQ(ui.messages, std::vector<Message>{exclamation(failed)});
        const DataTally &tally = importer->tally().data;
        ASSERT_TRUE(tally.failure);
        EXPECT_EQ(tally.failure->position, 4);
        EXPECT_EQ(tally.failure->stored, 2);
        EXPECT_EQ(tally.failure->readingKey, QStringLiteral("1_1"));
        EXPECT_EQ(tally.failure->value, bad.valueAsRead);
        EXPECT_EQ(tally.failure->timeStamp, bad.stampAsRead);
        EXPECT_TRUE(tally.failure->serverText.isEmpty());
        ASSERT_EQ(ui.details.size(), 1u);
        const QString &detail = ui.details[0];
        EXPECT_TRUE(detail.contains(QStringLiteral("reading 4 of 5"))) << detail.toStdString();
        EXPECT_TRUE(detail.contains(QStringLiteral("sensor 1_1")));
        EXPECT_TRUE(detail.contains(QStringLiteral("time stamp ") + bad.stampAsRead));
        EXPECT_TRUE(detail.contains(QStringLiteral("value ") + bad.valueAsRead));
        EXPECT_TRUE(detail.contains(QStringLiteral("2 readings before it were stored")));
        EXPECT_FALSE(tally.failure->reason.isEmpty());
        EXPECT_TRUE(detail.contains(QStringLiteral("): ") + tally.failure->reason + '.'));
    }
}

// What a reading may hold is the same on every server: a finite number, whose text without the
// blanks around it is what the store receives, of at most 255 characters. NaN and the infinities,
// as numbers or as texts, and a longer text are refused like any value the store cannot take: the
// import stops at the reading and names why.
TEST_F(ImportData, WhatAReadingMayHoldIsTheSameOnEveryServer)
{
    logWrites();
    // Site 2 reads its values from a column of texts, which every server keeps as given.
    source->Execute(QStringLiteral("CREATE TABLE TEXT_DATA (SensorType integer, TrainNumber "
                                   "integer, Data %1, TimeDate %2)")
                        .arg(serverContext().longTextColumn(), serverContext().dateTimeColumn()));
    addSite(2, QStringLiteral("TEXT_DATA"), QStringLiteral("SENSORS_1"));
    const QString digits255 = QStringLiteral("1") + QString(254, QLatin1Char('0'));
    const QString notFinite = QStringLiteral("the value is not a finite number (NaN and Infinity "
                                             "cannot be stored)");
    const QString notANumber = QStringLiteral("the value is not a number");
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case
    {
        Value data;
        QString textValue; // what the store receives, when it takes the reading
        QString refusal;   // why it does not
    };
    const std::vector<Case> cases{
        {QStringLiteral(" 12.5 "), QStringLiteral("12.5"), {}},
        {QStringLiteral("\t-3E2\r\n"), QStringLiteral("-3E2"), {}},
        {QStringLiteral("  ") + digits255, digits255, {}},
        {digits255 + QLatin1Char('0'),
         {},
         QStringLiteral("the value's text is longer than the 255 characters the store keeps")},
        {QStringLiteral("NaN"), {}, notFinite},
        {QStringLiteral(" Infinity"), {}, notFinite},
        {QStringLiteral("-inf"), {}, notFinite},
        {infinity, {}, notFinite},
        {-infinity, {}, notFinite},
        {QStringLiteral("2,5"), {}, notANumber},
        {QStringLiteral("$5"), {}, notANumber},
        {QStringLiteral(""), {}, notANumber},
        {QString(100000, QLatin1Char('x')), {}, notANumber},
        {Value::null(), {}, QStringLiteral("the value is Null")}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Case &c = cases[i];
        if (c.data.kind() == Value::Kind::Double && !serverContext().keepsInfinity())
            continue; // a source on such a server holds no infinite value
        source->Execute(QStringLiteral("DELETE FROM TEXT_DATA"));
        facility->Execute(QStringLiteral("DELETE FROM write_log"));
        ui = RecordingUserInterface();
        for (const auto &[data, minute] : {std::pair(Value(QStringLiteral("1")), 0),
                                           std::pair(c.data, 1), std::pair(Value(3.0), 2)})
            source->Execute(QStringLiteral("INSERT INTO TEXT_DATA (SensorType, TrainNumber, Data, "
                                           "TimeDate) VALUES (1, 1, ?, ?)"),
                            {data, on5March(10, minute)});

        const bool imported = importer->ImportData(on5March(0, 0), DateTime::fromParts(2024, 3, 6),
                                                   QStringLiteral("2"), QString(), QString());
        const auto writes = loggedWrites();
        const DataTally &tally = importer->tally().data;
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(imported);
            ASSERT_EQ(writes.size(), 3u);
            EXPECT_EQ(writes[1].text, c.textValue);
            EXPECT_EQ(writes[1].value, *parseNumber(c.textValue));
        } else {
            EXPECT_FALSE(imported);
            EXPECT_EQ(writes.size(), 1u);
            ASSERT_TRUE(tally.failure);
            EXPECT_EQ(tally.failure->position, 2);
            EXPECT_EQ(tally.failure->reason, c.refusal);
            ASSERT_FALSE(ui.details.empty());
            EXPECT_TRUE(ui.details.back().contains(c.refusal));
        }
    }
}

// Shown at most every 50 ms, the bar still ends where it would stand had it moved after every
// reading, and the last count is the total.
TEST_F(ImportData, ProgressEndsWhereTheReadingsLeaveIt)
{
    importer->setProgressInterval(50ms);
    addReadingValue(3, 1.0, on5March(10, 0));
    addReadingValue(1, 2.0, on5March(10, 1));
    addReadingValue(3, 3.0, on5March(10, 2));
    EXPECT_TRUE(importDay());
    EXPECT_EQ(ui.progressValue, 33);
    ASSERT_FALSE(ui.progressCounts.empty());
    EXPECT_EQ(ui.progressCounts.back(), std::pair(std::int64_t{3}, std::int64_t{3}));

    // All of them written: the last but one reading leaves 2303 of 2304, that is 99.
    ui = RecordingUserInterface();
    source->Execute(QStringLiteral("DELETE FROM DATA_1"));
    source->provider().beginTransaction();
    for (int i = 0; i < 2304; ++i)
        addReadingValue(1 + i % 2, i, DateTime::fromParts(2024, 3, 5, i / 120, i / 2 % 60));
    source->provider().commit();
    EXPECT_TRUE(importDay(DateTime::fromParts(2024, 3, 4)));
    EXPECT_EQ(ui.progressValue, 99);
    EXPECT_EQ(ui.progressCounts.back(), std::pair(std::int64_t{2304}, std::int64_t{2304}));
    EXPECT_EQ(ui.messages, std::vector<Message>{notice(inserted.arg(2304))});
    EXPECT_GE(ui.eventRuns, 2); // before the first reading and after the last
}

// What was written to each variable and what was passed over, for the run report.
TEST_F(ImportData, TheTallyKeepsEachVariablesReadingsAndWhatWasPassedOver)
{
    addReadingValue(1, 1.0, on5March(12, 0));
    addReadingValue(1, 2.0, on5March(9, 30));
    addReadingValue(2, 3.0, on5March(11, 0));
    addReadingValue(1, 4.0, on5March(10, 0));
    addReadingValue(3, 5.0, on5March(10, 1));
    addReadingValue(9, 6.0, on5March(10, 2));
    addReadingValue(9, 7.0, on5March(10, 3));
    EXPECT_TRUE(importDay());

    const DataTally &tally = importer->tally().data;
    EXPECT_TRUE(tally.ran);
    EXPECT_TRUE(tally.succeeded);
    EXPECT_EQ(tally.total, 7);
    EXPECT_EQ(tally.written, 4);
    EXPECT_FALSE(tally.failure);
    ASSERT_EQ(tally.perVariable.size(), 2u);
    const VariableReadings &first = tally.perVariable[0];
    EXPECT_EQ(first.readingKey, QStringLiteral("1_1"));
    EXPECT_EQ(first.varId, firstVariable);
    EXPECT_EQ(first.count, 3);
    EXPECT_EQ(first.first, on5March(9, 30));
    EXPECT_EQ(first.last, on5March(12, 0));
    const VariableReadings &second = tally.perVariable[1];
    EXPECT_EQ(second.readingKey, QStringLiteral("2_1"));
    EXPECT_EQ(second.varId, secondVariable);
    EXPECT_EQ(second.count, 1);
    EXPECT_EQ(second.first, on5March(11, 0));
    EXPECT_EQ(second.last, on5March(11, 0));
    ASSERT_EQ(tally.passedOver.size(), 2u);
    EXPECT_EQ(tally.passedOver[0].readingKey, QStringLiteral("3_1"));
    EXPECT_EQ(tally.passedOver[0].count, 1);
    EXPECT_EQ(tally.passedOver[0].reason, QStringLiteral("no variable"));
    EXPECT_EQ(tally.passedOver[1].readingKey, QStringLiteral("9_1"));
    EXPECT_EQ(tally.passedOver[1].count, 2);
    EXPECT_EQ(tally.passedOver[1].reason, QStringLiteral("no sensor"));
    EXPECT_TRUE(ui.details.empty());
}

// The program runs where clocks change: a reading in the hour that is skipped in spring or
// repeated in autumn keeps its wall-clock time stamp to the millisecond.
TEST_F(ImportData, TimeStampsAroundDaylightSavingChangesLandExactly)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    ASSERT_TRUE(zone.hasDaylightTime())
        << "run with TZ set to a zone with daylight saving, such as Europe/Berlin";
    logWrites();
    const DateTime skipped = DateTime::fromParts(2024, 3, 31, 2, 30, 10, 600);
    const DateTime repeated = DateTime::fromParts(2024, 10, 27, 2, 30, 10, 250);
    const DateTime roundsUp = DateTime::fromParts(2024, 10, 27, 2, 59, 59, 500);
    addReadingValue(1, 1.0, skipped);
    addReadingValue(1, 2.0, repeated);
    addReadingValue(1, 3.0, roundsUp);
    EXPECT_TRUE(importDay(DateTime::fromParts(2024, 3, 30), DateTime::fromParts(2024, 10, 28)));

    const auto writes = loggedWrites();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].stamp.toIsoText(), QStringLiteral("2024-03-31 02:30:10.600"));
    EXPECT_EQ(writes[0].stamp, skipped);
    EXPECT_EQ(writes[0].slotStart, DateTime::fromParts(2024, 3, 31, 2, 30));
    EXPECT_EQ(writes[1].stamp, repeated);
    EXPECT_EQ(writes[1].slotStart, DateTime::fromParts(2024, 10, 27, 2, 30));
    EXPECT_EQ(writes[2].stamp, roundsUp);
    EXPECT_EQ(writes[2].slotStart, DateTime::fromParts(2024, 10, 27, 3, 0));
    EXPECT_EQ(writes[2].slotEnd, DateTime::fromParts(2024, 10, 27, 3, 1));
}

} // namespace
} // namespace zarn::test
