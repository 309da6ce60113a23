#include "facility/DataDDInt.h"
#include "facility/DataStoreSupport.h"
#include "platform/Error.h"
#include "schema/StandIn.h"
#include "support/TestDatabases.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace zarn {
namespace {

using test::scalar;

const QString facilityFile = QStringLiteral("FACDD");

DateTime at(int hour, int minute, int second = 0, int ms = 0)
{
    return DateTime::fromParts(2024, 3, 5, hour, minute, second, ms);
}

// A command's procedure and parameters as "NAME(name type direction size, ...)".
QString signature(const dal::Command &command)
{
    QStringList parameters;
    for (const dal::Parameter &p : command.parameters())
        parameters
            << QStringLiteral("%1 %2 %3 %4").arg(p.name).arg(p.type).arg(p.direction).arg(p.size);
    return command.commandText() + u'(' + parameters.join(QStringLiteral(", ")) + u')';
}

QStringList signatures(const DataDDInt &store)
{
    QStringList all;
    for (int i = 0; i < DataDDInt::CommandCount; ++i)
        all << signature(store.command(static_cast<DataDDInt::CommandIndex>(i)));
    return all;
}

// The wire contract with the facility's procedures, with the interval code as "#".
const QStringList expectedSignatures = {
    "WRITEDD#(date 7 1 0, varid 3 1 0, value 5 1 0, textvalue 202 1 255, audituser 200 1 50, "
    "slotstarttime 7 1 0, slotendtime 7 1 0, status 3 1 0)",
    "SEEKFDD#(datestamp_1 7 1 0, varid_2 3 1 0, curvalue_3 5 2 0, textvalue_4 202 2 255, "
    "varid_5 3 2 0, audituser 200 2 50, audittimestamp 7 2 0, datestamp_out 7 2 0, "
    "slotstarttime 7 1 0, slotendtime 7 1 0, status 3 2 0, forced 3 2 0)",
    "SEEKNEXTDD#(varid_in 3 1 0, slotstart_in 7 1 0, slotend_in 7 1 0, topnum_in 3 1 0, "
    "varid_out 3 2 0, datestamp_out 7 2 0, curvalue_out 5 2 0, textvalue_out 202 2 255, "
    "audituser_out 200 2 50, audittimestamp_out 7 2 0, status_out 3 2 0, forced_out 3 2 0)",
    "DELETEDD#(slotstarttime 7 1 0, varid 3 1 0, audituser 200 1 50, slotendtime 7 1 0)",
    "SETFDD#(slotstarttime 7 1 0, slotendtime 7 1 0, varid 3 1 0, audituser 200 1 50, "
    "forced 3 1 0)",
    "SEEKDD#_C(varid_in 3 1 0, comment_out 202 2 2000, audituser 200 2 50, "
    "audittimestamp 7 2 0, slotstarttime 7 1 0, slotendtime 7 1 0)",
    "WRITEDD#_C(datestamp_1 7 1 0, varid_2 3 1 0, comment_in 202 1 2000, audituser 200 1 50, "
    "slotstarttime 7 1 0, slotendtime 7 1 0)",
    "DELETEDD#_C(slotstarttime 7 1 0, varid_2 3 1 0, slotendtime 7 1 0, audituser 200 1 50)",
};

QStringList expectedFor(const QString &code)
{
    QStringList result = expectedSignatures;
    result.replaceInStrings(QStringLiteral("#"), code);
    return result;
}

// Operations before ConnectTo have no command to run; they need no database.
TEST(DataStoreBeforeConnectTo, OperationsRaiseAndTheGettersAnswer)
{
    DataDDInt store;
    dal::Connection unopened;
    store.Init(unopened, QStringLiteral("tester"));
    EXPECT_EQ(store.GetCurrentIntervalsInDay(), -1);
    EXPECT_EQ(store.GetMinutesPerInterval(), 0);
    EXPECT_TRUE(store.NoMatch());
    EXPECT_EQ(store.GetSlotStartDateTime(at(10, 47, 31)), at(0, 0));

    DateTime stamp;
    double value = 0;
    QString text, comment;
    EXPECT_THROW(store.WriteData(at(10, 0), at(10, 0), 1, 1.0, QStringLiteral("1")), Error);
    EXPECT_THROW(store.DeleteData(at(10, 0), 1), Error);
    EXPECT_THROW(store.SeekData(at(10, 0), 1, stamp, value, text), Error);
    EXPECT_THROW(store.SeekNext(at(10, 0), at(11, 0), 1, stamp, value, text), Error);
    EXPECT_THROW(store.WriteComment(at(10, 0), at(10, 0), 1, QStringLiteral("c")), Error);
    EXPECT_THROW(store.SeekComment(at(10, 0), 1, comment), Error);
    EXPECT_THROW(store.DeleteComment(at(10, 0), 1), Error);
    EXPECT_THROW(store.SetForced(at(10, 0), 1, 1), Error);
    EXPECT_NO_THROW(store.SetStatus(at(10, 0), 1, 1));
    EXPECT_TRUE(store.NoMatch());
}

class DataStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        server = test::makeStandIn(folder.path());
        server->createRootCatalog();
        server->createFacility(facilityFile, QStringLiteral("Data store facility"));
        facility = openFacility();
        store.Init(*facility, QStringLiteral("tester"));
        store.ConnectTo(1440);
    }

    std::unique_ptr<dal::Connection> openFacility() const
    {
        return schema::openConnection(server->catalogConnectionString(facilityFile));
    }

    Value stored(const QString &column, std::int32_t varId, DateTime slotStart,
                 const QString &table = QStringLiteral("DD1_VALUES"))
    {
        return scalar(*facility,
                      QStringLiteral("SELECT %1 FROM %2 WHERE varid = ? AND slotstarttime = ?")
                          .arg(column, table),
                      {Value(varId), Value(slotStart)});
    }

    long long rowCount(const QString &table = QStringLiteral("DD1_VALUES"))
    {
        return static_cast<long long>(
            scalar(*facility, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toDouble());
    }

    QTemporaryDir folder;
    std::unique_ptr<schema::StandInServer> server;
    std::unique_ptr<dal::Connection> facility;
    DataDDInt store;
};

TEST_F(DataStore, TheEightCommandsOfTheMinuteCode)
{
    EXPECT_EQ(signatures(store), expectedFor(QStringLiteral("1")));
    for (int i = 0; i < DataDDInt::CommandCount; ++i) {
        const dal::Command &command = store.command(static_cast<DataDDInt::CommandIndex>(i));
        EXPECT_EQ(command.commandType(), dal::adCmdStoredProc);
        EXPECT_EQ(command.activeConnection(), facility.get());
        for (const dal::Parameter &p : command.parameters())
            EXPECT_TRUE(p.value.isEmpty()) << p.name.toStdString();
    }
}

TEST_F(DataStore, OtherSlotCountsUseTheHourlyProceduresWithTheirOwnLength)
{
    store.ConnectTo(24);
    EXPECT_EQ(signatures(store), expectedFor(QStringLiteral("H")));
    EXPECT_EQ(store.GetMinutesPerInterval(), 60);
    store.ConnectTo(7);
    EXPECT_EQ(signatures(store), expectedFor(QStringLiteral("H")));
    EXPECT_EQ(store.GetMinutesPerInterval(), 206);
    EXPECT_EQ(store.GetCurrentIntervalsInDay(), 7);
}

TEST_F(DataStore, ConnectToZeroFailsAfterTakingTheCount)
{
    try {
        store.ConnectTo(0);
        FAIL() << "no error raised";
    } catch (const Error &e) {
        EXPECT_EQ(e.number(), errc::DivisionByZero);
    }
    EXPECT_EQ(store.GetCurrentIntervalsInDay(), 0);
    EXPECT_EQ(store.GetMinutesPerInterval(), 1);
    EXPECT_EQ(signatures(store), expectedFor(QStringLiteral("1")));
    // Zero slots a day is no slot length of the table: the slot starts at midnight.
    EXPECT_EQ(store.GetSlotStartDateTime(at(10, 47, 31)), at(0, 0));
}

TEST_F(DataStore, ConnectToAgainBuildsOnTheConnectionHeldThen)
{
    const auto other = openFacility();
    store.Init(*other, QStringLiteral("tester"));
    EXPECT_EQ(store.command(DataDDInt::WriteValue).activeConnection(), facility.get());
    store.ConnectTo(24);
    for (int i = 0; i < DataDDInt::CommandCount; ++i)
        EXPECT_EQ(store.command(static_cast<DataDDInt::CommandIndex>(i)).activeConnection(),
                  other.get());
}

TEST_F(DataStore, ProceduresThatDoNotExistFailOnlyWhenRun)
{
    ASSERT_NO_THROW(store.ConnectTo(48)); // the stand-in has no half-hour procedures
    EXPECT_THROW(store.WriteData(at(10, 30), at(10, 31), 1, 1.0, QStringLiteral("1")),
                 DatabaseError);
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(DataStore, AWriteIsFoundWithEveryDetail)
{
    store.WriteData(at(10, 15), at(10, 15, 42, 123), 7, 12.5, QStringLiteral("12.5"));

    DateTime stamp;
    double value = 0;
    QString text;
    Value auditUser, auditTime, status, forced;
    store.SeekData(at(10, 15), 7, stamp, value, text, &auditUser, &auditTime, &status, &forced);
    EXPECT_FALSE(store.NoMatch());
    EXPECT_EQ(stamp.toIsoText(), QStringLiteral("2024-03-05 10:15:42.123"));
    EXPECT_EQ(stamp, at(10, 15, 42, 123));
    EXPECT_EQ(value, 12.5);
    EXPECT_EQ(text, QStringLiteral("12.5"));
    EXPECT_EQ(auditUser.toText(), QStringLiteral("tester"));
    EXPECT_TRUE(auditTime.isDate());
    ASSERT_FALSE(status.isNull());
    EXPECT_EQ(status.toInt32(), 0); // status omitted
    EXPECT_EQ(forced.toInt32(), 0);
}

TEST_F(DataStore, AWriteReplacesTheRecordOfItsSlot)
{
    store.WriteData(at(10, 15), at(10, 15, 5), 7, 1.0, QStringLiteral("1"), 3);
    store.WriteData(at(10, 15), at(10, 15, 55), 7, 2.0, QStringLiteral("2"));
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(stored(QStringLiteral("curvalue"), 7, at(10, 15)).toDouble(), 2.0);
    EXPECT_EQ(stored(QStringLiteral("datestamp"), 7, at(10, 15)).toDateTime(), at(10, 15, 55));
    EXPECT_EQ(stored(QStringLiteral("status"), 7, at(10, 15)).toInt32(), 0);
}

TEST_F(DataStore, TheHourlyWindowEndsAnHourAfterTheSlotStart)
{
    store.ConnectTo(24);
    store.WriteData(at(10, 0), at(10, 59, 59), 7, 1.0, QStringLiteral("1"));
    store.WriteData(at(11, 0), at(11, 0, 0), 7, 2.0, QStringLiteral("2"));
    store.DeleteData(at(10, 0), 7);
    EXPECT_EQ(rowCount(QStringLiteral("DDH_VALUES")), 1);

    DateTime stamp;
    double value = 0;
    QString text;
    store.SeekData(at(10, 0), 7, stamp, value, text);
    EXPECT_TRUE(store.NoMatch());
    store.SeekData(at(11, 0), 7, stamp, value, text);
    EXPECT_FALSE(store.NoMatch());
    EXPECT_EQ(value, 2.0);
}

TEST_F(DataStore, ASeekThatFindsNothingLeavesTheCallersValues)
{
    store.WriteData(at(10, 15), at(10, 15, 1), 7, 1.0, QStringLiteral("1"));
    DateTime stamp = at(1, 2, 3);
    double value = -4.5;
    QString text = QStringLiteral("unchanged");
    Value status(std::int32_t{99});
    store.SeekData(at(10, 15), 7, stamp, value, text);
    EXPECT_FALSE(store.NoMatch());
    stamp = at(1, 2, 3);
    value = -4.5;
    text = QStringLiteral("unchanged");
    store.SeekData(at(10, 16), 7, stamp, value, text, nullptr, nullptr, &status);
    EXPECT_TRUE(store.NoMatch());
    EXPECT_EQ(stamp, at(1, 2, 3));
    EXPECT_EQ(value, -4.5);
    EXPECT_EQ(text, QStringLiteral("unchanged"));
    EXPECT_EQ(status.toInt32(), 99);
}

TEST_F(DataStore, ValueSeeksTrimTheirTextsAndTheCommentSeekKeepsThem)
{
    store.Init(*facility, QStringLiteral("  tester  "));
    store.WriteData(at(10, 15), at(10, 15, 1), 7, 7.5, QStringLiteral("  7.5  "));
    store.WriteComment(at(10, 15), at(10, 15, 2), 7, QStringLiteral("  a note  "));

    DateTime stamp;
    double value = 0;
    QString text;
    Value auditUser;
    store.SeekData(at(10, 15), 7, stamp, value, text, &auditUser);
    EXPECT_EQ(text, QStringLiteral("7.5"));
    EXPECT_EQ(auditUser.toText(), QStringLiteral("tester"));

    text.clear();
    auditUser = Value();
    store.SeekNext(at(10, 0), at(11, 0), 7, stamp, value, text, 1, &auditUser);
    EXPECT_EQ(text, QStringLiteral("7.5"));
    EXPECT_EQ(auditUser.toText(), QStringLiteral("tester"));

    QString comment;
    Value commentUser, commentTime;
    store.SeekComment(at(10, 15), 7, comment, &commentUser, &commentTime);
    EXPECT_FALSE(store.NoMatch());
    EXPECT_EQ(comment, QStringLiteral("  a note  "));
    EXPECT_EQ(commentUser.toText(), QStringLiteral("  tester  "));
    EXPECT_TRUE(commentTime.isDate());
}

TEST_F(DataStore, AnEmptyOrDeletedCommentIsNoComment)
{
    QString comment = QStringLiteral("unchanged");
    store.WriteComment(at(10, 15), at(10, 15), 7, QString());
    store.SeekComment(at(10, 15), 7, comment);
    EXPECT_TRUE(store.NoMatch());
    EXPECT_EQ(comment, QStringLiteral("unchanged"));

    store.WriteComment(at(10, 16), at(10, 16), 7, QStringLiteral("kept"));
    store.SeekComment(at(10, 16), 7, comment);
    EXPECT_EQ(comment, QStringLiteral("kept"));
    store.DeleteComment(at(10, 16), 7);
    store.SeekComment(at(10, 16), 7, comment);
    EXPECT_TRUE(store.NoMatch());
    EXPECT_EQ(rowCount(QStringLiteral("DD1_COMMENTS")), 1); // the empty one
}

TEST_F(DataStore, NullAuditDetailsAndStatusesComeBackSoTheyCanBeToldApart)
{
    store.WriteData(at(10, 15), at(10, 15, 1), 7, 1.0, QStringLiteral("1"));
    store.WriteComment(at(10, 15), at(10, 15, 1), 7, QStringLiteral("c"));
    facility->Execute(QStringLiteral("UPDATE DD1_VALUES SET audituser = NULL, "
                                     "audittimestamp = NULL, status = NULL, forced = NULL"));
    facility->Execute(QStringLiteral("UPDATE DD1_COMMENTS SET audituser = NULL, "
                                     "audittimestamp = NULL"));

    DateTime stamp;
    double value = 0;
    QString text;
    Value auditUser, auditTime, status(std::int32_t{5}), forced(std::int32_t{5});
    store.SeekData(at(10, 15), 7, stamp, value, text, &auditUser, &auditTime, &status, &forced);
    EXPECT_EQ(auditUser.kind(), Value::Kind::Text);
    EXPECT_EQ(auditUser.toText(), QString());
    ASSERT_FALSE(auditTime.isNull());
    EXPECT_EQ(auditTime.toDouble(), 0.0);
    EXPECT_TRUE(status.isNull());
    EXPECT_TRUE(forced.isNull());

    auditTime = Value();
    store.SeekNext(at(10, 0), at(11, 0), 7, stamp, value, text, 1, nullptr, &auditTime, &status);
    EXPECT_EQ(auditTime.toDouble(), 0.0);
    EXPECT_TRUE(status.isNull());

    QString comment;
    auditUser = Value();
    auditTime = Value();
    store.SeekComment(at(10, 15), 7, comment, &auditUser, &auditTime);
    EXPECT_EQ(auditUser.toText(), QString());
    EXPECT_EQ(auditTime.toDouble(), 0.0);
}

TEST_F(DataStore, SeekNextCountsTheRecordsOfTheCallersWindow)
{
    for (int minute : {59, 1, 2, 3, 5}) {
        const int hour = minute == 59 ? 9 : 10;
        store.WriteData(at(hour, minute), at(hour, minute, 30), 7, minute, QString::number(minute));
    }
    const auto nth = [&](std::optional<std::int32_t> n) {
        DateTime stamp;
        double value = -1;
        QString text;
        if (n)
            store.SeekNext(at(10, 0), at(10, 4), 7, stamp, value, text, *n);
        else
            store.SeekNext(at(10, 0), at(10, 4), 7, stamp, value, text);
        return store.NoMatch() ? -1.0 : value;
    };
    EXPECT_EQ(nth(std::nullopt), 1.0);
    EXPECT_EQ(nth(0), 1.0);
    EXPECT_EQ(nth(-5), 1.0);
    EXPECT_EQ(nth(1), 1.0);
    EXPECT_EQ(nth(3), 3.0);
    EXPECT_EQ(nth(4), -1.0); // 10:05 lies outside the window
}

TEST_F(DataStore, SetStatusRewritesOnlyARecordWithAnotherStatus)
{
    store.Init(*facility, QStringLiteral("first"));
    store.WriteData(at(10, 15), at(10, 15, 42, 250), 7, 3.25, QStringLiteral("  3.25 "), 5);
    store.Init(*facility, QStringLiteral("second"));

    store.SetStatus(at(10, 15, 50), 7, 5);
    EXPECT_EQ(stored(QStringLiteral("audituser"), 7, at(10, 15)).toText(), QStringLiteral("first"));

    store.SetStatus(at(10, 15, 50), 7, 8);
    EXPECT_EQ(stored(QStringLiteral("status"), 7, at(10, 15)).toInt32(), 8);
    EXPECT_EQ(stored(QStringLiteral("audituser"), 7, at(10, 15)).toText(),
              QStringLiteral("second"));
    EXPECT_EQ(stored(QStringLiteral("datestamp"), 7, at(10, 15)).toDateTime(), at(10, 15, 42, 250));
    EXPECT_EQ(stored(QStringLiteral("curvalue"), 7, at(10, 15)).toDouble(), 3.25);
    EXPECT_EQ(stored(QStringLiteral("textvalue"), 7, at(10, 15)).toText(), QStringLiteral("3.25"));
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(DataStore, SetStatusWritesNothingWithoutARecordOrWithANullStatus)
{
    EXPECT_NO_THROW(store.SetStatus(at(10, 15), 7, 8));
    EXPECT_EQ(rowCount(), 0);
    EXPECT_TRUE(store.NoMatch());

    store.WriteData(at(10, 15), at(10, 15, 1), 7, 1.0, QStringLiteral("1"), 5);
    facility->Execute(QStringLiteral("UPDATE DD1_VALUES SET status = NULL"));
    EXPECT_NO_THROW(store.SetStatus(at(10, 15), 7, 8));
    EXPECT_TRUE(stored(QStringLiteral("status"), 7, at(10, 15)).isNull());
}

TEST_F(DataStore, SetForcedRunsItsProcedureForAnEmptySlot)
{
    // A procedure that records its inputs in the order they arrive.
    test::serverContext().runOwnScript(
        *facility,
        {QStringLiteral(
             "CREATE TABLE forced_calls (a DATETIME, b DATETIME, c INTEGER, d VARCHAR(50), "
             "e INTEGER); UPDATE stored_procedures SET body = 'INSERT INTO forced_calls "
             "VALUES (:slotstarttime, :slotendtime, :varid, :audituser, :forced)' "
             "WHERE name = 'SETFDD1'"),
         QStringLiteral(
             "CREATE TABLE forced_calls (a timestamp, b timestamp, c integer, d varchar(50), "
             "e integer); CREATE OR REPLACE FUNCTION SETFDD1(IN slotstarttime timestamp, "
             "IN slotendtime timestamp, IN varid integer, IN audituser varchar, "
             "IN forced integer) RETURNS void LANGUAGE sql AS "
             "$$ INSERT INTO forced_calls VALUES ($1, $2, $3, $4, $5) $$"),
         QStringLiteral("CREATE TABLE forced_calls (a DATETIME(3), b DATETIME(3), c INTEGER, "
                        "d VARCHAR(50), e INTEGER); DROP PROCEDURE SETFDD1; "
                        "CREATE PROCEDURE SETFDD1(IN slotstarttime DATETIME(3), "
                        "IN slotendtime DATETIME(3), IN varid INTEGER, IN audituser VARCHAR(50), "
                        "IN forced INTEGER) INSERT INTO forced_calls "
                        "VALUES (slotstarttime, slotendtime, varid, audituser, forced)")});
    store.SetForced(at(10, 47, 31), 42, 1);
    dal::Recordset call =
        facility->Execute(QStringLiteral("SELECT a, b, c, d, e FROM forced_calls"));
    ASSERT_FALSE(call.Eof());
    EXPECT_EQ(call.Fields(0).Value().toDateTime(), at(10, 47));
    EXPECT_EQ(call.Fields(1).Value().toDateTime(), at(10, 48));
    EXPECT_EQ(call.Fields(2).Value().toInt32(), 42);
    EXPECT_EQ(call.Fields(3).Value().toText(), QStringLiteral("tester"));
    EXPECT_EQ(call.Fields(4).Value().toInt32(), 1);
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(DataStore, InitAfterConnectToChangesTheAuditUserOfTheNextWrite)
{
    store.Init(*facility, QStringLiteral("somebody else"));
    store.WriteData(at(10, 15), at(10, 15, 1), 7, 1.0, QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("audituser"), 7, at(10, 15)).toText(),
              QStringLiteral("somebody else"));
}

TEST_F(DataStore, QueuedWritesStoreWhatWriteDataStoresUpToTheFirstFailure)
{
    test::refuseValue(*facility, 666);
    facility->provider().beginTransaction();
    store.QueueWriteData(at(10, 1), at(10, 1, 1, 1), 7, 1.0, QStringLiteral("1"));
    store.QueueWriteData(at(10, 2), at(10, 2, 2, 2), 7, 2.0, QStringLiteral("2"), 4);
    store.QueueWriteData(at(10, 3), at(10, 3), 7, 666.0, QStringLiteral("666"));
    store.QueueWriteData(at(10, 4), at(10, 4), 7, 4.0, QStringLiteral("4"));
    try {
        store.FlushWrites();
        FAIL() << "the refused value went through";
    } catch (const dal::BatchError &e) {
        EXPECT_EQ(e.succeeded(), 2u);
    }
    facility->provider().rollback();
    EXPECT_EQ(rowCount(), 0);

    facility->provider().beginTransaction();
    store.QueueWriteData(at(10, 1), at(10, 1, 1, 1), 7, 1.0, QStringLiteral("1"));
    store.QueueWriteData(at(10, 2), at(10, 2, 2, 2), 7, 2.0, QStringLiteral("2"), 4);
    store.FlushWrites();
    facility->provider().commit();
    EXPECT_EQ(rowCount(), 2);
    EXPECT_EQ(stored(QStringLiteral("datestamp"), 7, at(10, 2)).toDateTime(), at(10, 2, 2, 2));
    EXPECT_EQ(stored(QStringLiteral("status"), 7, at(10, 2)).toInt32(), 4);
    EXPECT_EQ(stored(QStringLiteral("audituser"), 7, at(10, 1)).toText(), QStringLiteral("tester"));
}

} // namespace
} // namespace zarn
