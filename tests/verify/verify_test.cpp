// The batch mode's verification of the demo site's import on the server under test: every slot
// read back matches after the import; slots changed behind its back are each found and named;
// readings passed over are counted apart; readings that come back to an earlier slot are
// expected as the import leaves them; and the facility is untouched by a verification.

#include "../preview/DemoDatabases.h"
#include "app/BatchMode.h"
#include "platform/dal/Recordset.h"
#include "support/ServerContext.h"
#include "support/TestDatabases.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <map>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zarn;

namespace {

const QStringList site = {"--site", "102", "--facility", "NORTHPLANT"};
const QStringList data = {"--data", "--start", "2024-03-03", "--end", "2024-03-09"};

// A slot of the facility's daily-data store as a test picks it.
struct StoredSlot
{
    std::int32_t varId;
    Value slotStart;
    DateTime stamp;
};

struct Verify : ::testing::Test
{
    void importSite(const QStringList &steps)
    {
        ASSERT_EQ(db.runBatch(site + steps), exitStatus::Success);
    }

    // The verification as one JSON document; the facility must be the same before and after it.
    QJsonObject verify(int expectedStatus)
    {
        const QStringList rowsBefore = db.facilityRows();
        const QByteArray bytesBefore = db.facilityFileBytes();
        QString out;
        QString err;
        EXPECT_EQ(
            db.runBatch(site + data + QStringList{"--verify", "--format", "json"}, &out, &err),
            expectedStatus)
            << err.toStdString() << out.toStdString();
        EXPECT_EQ(db.facilityRows(), rowsBefore);
        EXPECT_EQ(db.facilityFileBytes(), bytesBefore);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
        EXPECT_EQ(document.object()["kind"].toString(), "verification");
        return document.object()["verify"].toObject();
    }

    // The first slot of each of the first variables of the store, in the order of their VARID.
    std::vector<StoredSlot> firstSlots(int variables)
    {
        dal::Recordset rs = db.facility()->Execute(
            QStringLiteral("SELECT varid, slotstarttime, datestamp FROM DD1_VALUES "
                           "ORDER BY varid, slotstarttime"));
        std::vector<StoredSlot> stored;
        for (; !rs.Eof() && std::ssize(stored) < variables; rs.MoveNext()) {
            const std::int32_t varId = rs.Fields(0).Value().toInt32();
            if (stored.empty() || stored.back().varId != varId)
                stored.push_back({varId, rs.Fields(1).Value(), rs.Fields(2).Value().toDateTime()});
        }
        return stored;
    }

    void changeSlot(const QString &assignment, const StoredSlot &slot, const Value &value = {})
    {
        std::vector<Value> parameters;
        if (!value.isEmpty())
            parameters.push_back(value);
        parameters.push_back(slot.varId);
        parameters.push_back(slot.slotStart);
        db.facility()->Execute(assignment + QStringLiteral(" WHERE varid=? AND slotstarttime=?"),
                               parameters);
    }

    static QJsonObject variableOf(const QJsonObject &verify, std::int32_t varId)
    {
        for (const QJsonValue &v : verify["perVariable"].toArray())
            if (v.toObject()["varId"].toInteger() == varId)
                return v.toObject();
        ADD_FAILURE() << "no variable " << varId;
        return {};
    }

    test::DemoDatabases db;
};

std::map<QString, long long> countsOf(const QJsonObject &object)
{
    std::map<QString, long long> counts;
    for (auto it = object.begin(); it != object.end(); ++it)
        counts[it.key()] = it.value().toInteger();
    return counts;
}

std::map<QString, long long> allMatching(long long slotCount)
{
    return {{"checked", slotCount}, {"matching", slotCount}, {"missing", 0},
            {"differentValue", 0},  {"differentText", 0},    {"differentTimeStamp", 0}};
}

TEST_F(Verify, EverySlotOfTheDemoImportMatches)
{
    importSite(QStringList{"--variables"} + data);
    const QJsonObject v = verify(exitStatus::Success);
    EXPECT_TRUE(v["succeeded"].toBool());
    EXPECT_EQ(v["total"].toInteger(), 2304);
    EXPECT_EQ(v["readings"].toInteger(), 2304);
    EXPECT_EQ(v["passedOver"].toInteger(), 0);
    EXPECT_EQ(countsOf(v["slots"].toObject()), allMatching(2304));
    ASSERT_EQ(v["perVariable"].toArray().size(), 16);
    for (const QJsonValue &variable : v["perVariable"].toArray())
        EXPECT_EQ(countsOf(variable.toObject()["slots"].toObject()), allMatching(144));
}

// Each change is found in its own variable and slot, with what was expected and what was found;
// the time stamp is compared to the millisecond.
TEST_F(Verify, FindsAndNamesSlotsChangedBehindTheImportsBack)
{
    importSite(QStringList{"--variables"} + data);
    const std::vector<StoredSlot> stored = firstSlots(4);
    ASSERT_EQ(stored.size(), 4u);
    changeSlot(QStringLiteral("UPDATE DD1_VALUES SET curvalue=curvalue+1"), stored[0]);
    changeSlot(QStringLiteral("DELETE FROM DD1_VALUES"), stored[1]);
    changeSlot(QStringLiteral("UPDATE DD1_VALUES SET textvalue='changed'"), stored[2]);
    const DateTime moved(stored[3].stamp.days() + 1.0 / 86'400'000);
    changeSlot(QStringLiteral("UPDATE DD1_VALUES SET datestamp=?"), stored[3], Value(moved));

    const QJsonObject v = verify(exitStatus::Differences);
    EXPECT_EQ(countsOf(v["slots"].toObject()),
              (std::map<QString, long long>{{"checked", 2304},
                                            {"matching", 2300},
                                            {"missing", 1},
                                            {"differentValue", 1},
                                            {"differentText", 1},
                                            {"differentTimeStamp", 1}}));
    const struct
    {
        const char *differs; // empty for the missing slot
        bool found;
    } expected[] = {{"value", true}, {"", false}, {"text", true}, {"timeStamp", true}};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        const QJsonArray differences = variableOf(v, stored[i].varId)["differences"].toArray();
        ASSERT_EQ(differences.size(), 1);
        const QJsonObject d = differences[0].toObject();
        EXPECT_EQ(d["slot"].toString(), stored[i].slotStart.toDateTime().toIsoText());
        EXPECT_EQ(d["found"].isObject(), expected[i].found);
        const QJsonArray differs = d["differs"].toArray();
        EXPECT_EQ(differs.isEmpty() ? QString() : differs[0].toString(),
                  QLatin1String(expected[i].differs));
    }
    const QJsonObject valueChanged = variableOf(v, stored[0].varId)["differences"][0].toObject();
    EXPECT_EQ(valueChanged["found"]["value"].toDouble(),
              valueChanged["expected"]["value"].toDouble() + 1);
    const QJsonObject textChanged = variableOf(v, stored[2].varId)["differences"][0].toObject();
    EXPECT_EQ(textChanged["found"]["text"].toString(), "changed");
    const QJsonObject stampMoved = variableOf(v, stored[3].varId)["differences"][0].toObject();
    EXPECT_EQ(stampMoved["expected"]["timeStamp"].toString(), stored[3].stamp.toIsoText());
    EXPECT_EQ(stampMoved["found"]["timeStamp"].toString(), moved.toIsoText());

    QString out;
    EXPECT_EQ(db.runBatch(site + data + QStringList{"--verify"}, &out), exitStatus::Differences);
    EXPECT_TRUE(out.contains("Slots: 2304 checked, 2300 matching, 1 missing, 1 with another "
                             "value, 1 with another text, 1 with another time stamp\n"))
        << out.toStdString();
}

// Readings without a variable, of a shared SensorID and of a key that no sensor has are
// counted apart, never as missing slots.
TEST_F(Verify, CountsReadingsPassedOverApart)
{
    importSite({"--variables"});
    db.facility()->Execute(QStringLiteral("DELETE FROM VARDESC WHERE VARNUM=15"));
    db.source().Execute(QStringLiteral("UPDATE SENSORS_102 SET SensorID=11 WHERE SensorID=12"));
    db.source().Execute(QStringLiteral("INSERT INTO DATA_102 (SensorType, TrainNumber, Data, "
                                       "TimeDate) VALUES (9, 1, 1.5, ?)"),
                        {Value(*DateTime::parse(QStringLiteral("2024-03-05 10:15:10")))});
    importSite(data);

    const QJsonObject v = verify(exitStatus::Success);
    std::map<QString, QString> reasons;
    long long passedOver = 0;
    for (const QJsonValue &p : v["passedOverByKey"].toArray()) {
        reasons[p.toObject()["readingKey"].toString()] = p.toObject()["reason"].toString();
        passedOver += p.toObject()["count"].toInteger();
    }
    EXPECT_EQ(reasons, (std::map<QString, QString>{{"1_1", "duplicate SensorID 11"},
                                                   {"1_2", "no variable"},
                                                   {"2_1", "duplicate SensorID 11"},
                                                   {"9_1", "no sensor"}}));
    EXPECT_EQ(passedOver, 3 * 144 + 1);
    EXPECT_EQ(v["passedOver"].toInteger(), passedOver);
    EXPECT_EQ(countsOf(v["slots"].toObject()), allMatching(2304 - 3 * 144));
}

// A source whose readings come latest first, in a table without an index on the time stamp,
// and with two more readings of the first slot of a variable at its end: every slot but the
// last of each variable is returned to after a later one, and the two readings replace what
// the import wrote into their slot. The verification expects what the import leaves there.
TEST_F(Verify, ReadingsThatComeBackToEarlierSlots)
{
    importSite({"--variables"});
    dal::Connection &source = db.source();
    source.Execute(QStringLiteral("CREATE TABLE DATA_102_LATEST_FIRST (SensorType integer, "
                                  "TrainNumber integer, Data double precision, TimeDate %1)")
                       .arg(test::serverContext().dateTimeColumn()));
    source.Execute(QStringLiteral("INSERT INTO DATA_102_LATEST_FIRST SELECT SensorType, "
                                  "TrainNumber, Data, TimeDate FROM DATA_102 ORDER BY TimeDate "
                                  "DESC"));
    dal::Recordset first = source.Execute(
        QStringLiteral("SELECT MIN(TimeDate) FROM DATA_102 WHERE SensorType=1 AND TrainNumber=1"));
    const Value firstStamp = first.Fields(0).Value();
    for (const double value : {-7.25, 3.5})
        source.Execute(QStringLiteral("INSERT INTO DATA_102_LATEST_FIRST (SensorType, "
                                      "TrainNumber, Data, TimeDate) VALUES (1, 1, ?, ?)"),
                       {Value(value), firstStamp});
    source.Execute(
        QStringLiteral("UPDATE SYSTEMS SET TableName='DATA_102_LATEST_FIRST' WHERE SystemID=102"));
    importSite(data);
    ASSERT_EQ(db.countInFacility(QStringLiteral("SELECT COUNT(*) FROM DD1_VALUES WHERE "
                                                "curvalue=3.5")),
              1);

    QString out;
    EXPECT_EQ(db.runBatch(site + data + QStringList{"--verify", "--format", "json"}, &out),
              exitStatus::Success)
        << out.toStdString();
    const QJsonObject document = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_TRUE(document["details"].toArray().first().toString().contains("checked last"))
        << out.toStdString();
    const QJsonObject v = document["verify"].toObject();
    EXPECT_EQ(v["readings"].toInteger(), 2306);
    EXPECT_EQ(countsOf(v["slots"].toObject()), allMatching(2304));
}

// The server ends the connection in the middle of the seeks: the verification ends there with
// one detail that says why and exit status 1, never reporting the slots after it as missing.
TEST_F(Verify, ALostConnectionEndsTheVerificationWithOneDetail)
{
    if (test::serverUnderTest() != QLatin1String("postgresql") &&
        test::serverUnderTest() != QLatin1String("odbc"))
        GTEST_SKIP() << "a PostgreSQL function that ends its own connection";
    importSite(QStringList{"--variables"} + data);
    db.facility()->provider().executeScript(QStringLiteral(
        "CREATE OR REPLACE FUNCTION SEEKFDD1(IN datestamp_1 timestamp, IN varid_2 integer, "
        "OUT curvalue_3 double precision, OUT textvalue_4 varchar, OUT varid_5 integer, "
        "OUT audituser varchar, OUT audittimestamp timestamp, OUT datestamp_out timestamp, "
        "IN slotstarttime timestamp, IN slotendtime timestamp, OUT status integer, "
        "OUT forced integer) LANGUAGE plpgsql AS $$ BEGIN IF varid_2 = 2 THEN "
        "PERFORM pg_terminate_backend(pg_backend_pid()); END IF; END $$"));
    QString out;
    EXPECT_EQ(db.runBatch(site + data + QStringList{"--verify", "--format", "json"}, &out),
              exitStatus::Failure);
    const QJsonObject document = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_FALSE(document["verify"]["succeeded"].toBool());
    EXPECT_TRUE(document["messages"].toArray().isEmpty()) << out.toStdString();
    const QJsonArray details = document["details"].toArray();
    ASSERT_EQ(details.size(), 1) << out.toStdString();
    EXPECT_TRUE(details[0].toString().startsWith("The verification failed: ")) << out.toStdString();
}

// The import and its verification in one call, the report holding both; values that take every
// digit of a double and a time stamp with milliseconds come back as they were sent.
TEST_F(Verify, ImportAndVerifyInOneCallWithItsReport)
{
    const struct
    {
        double value;
        const char *at;
    } exact[] = {{1.0 / 3.0, "2024-03-06 12:34:56.789"},
                 {0.1 + 0.2, "2024-03-06 12:35:00"},
                 {6.02214076e23, "2024-03-06 12:36:00.001"}};
    for (const auto &reading : exact)
        db.source().Execute(
            QStringLiteral("INSERT INTO DATA_102 (SensorType, TrainNumber, Data, "
                           "TimeDate) VALUES (1, 1, ?, ?)"),
            {Value(reading.value), Value(*DateTime::parse(QLatin1String(reading.at)))});
    const QString report = db.filePath(QStringLiteral("report.json"));
    QString out;
    EXPECT_EQ(db.runBatch(site + QStringList{"--variables"} + data +
                              QStringList{"--import-and-verify", "--report", report},
                          &out),
              exitStatus::Success);
    EXPECT_TRUE(out.contains("Inserted 2307 data records into ZARN database."));
    EXPECT_TRUE(out.contains("Slots: 2307 checked, 2307 matching, 0 missing")) << out.toStdString();
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject r = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(r["kind"].toString(), "report");
    EXPECT_EQ(r["data"]["written"].toInteger(), 2307);
    EXPECT_TRUE(r["verify"]["ran"].toBool());
    EXPECT_EQ(countsOf(r["verify"]["slots"].toObject()), allMatching(2307));
}

} // namespace
