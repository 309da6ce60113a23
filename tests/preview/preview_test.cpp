// The batch mode's preview of the demo site on the server under test: what it shows, checked
// against what the source and the facility hold, and that the facility is untouched by it.

#include "DemoDatabases.h"
#include "app/BatchMode.h"
#include "platform/dal/Recordset.h"

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

const QString start = QStringLiteral("2024-03-03");
const QString end = QStringLiteral("2024-03-09");

QStringList texts(const QJsonArray &array, const char *field)
{
    QStringList result;
    for (const QJsonValue &v : array)
        result << v.toObject().value(QLatin1String(field)).toVariant().toString();
    return result;
}

std::map<QString, QJsonObject> byKey(const QJsonArray &array)
{
    std::map<QString, QJsonObject> result;
    for (const QJsonValue &v : array)
        result[v.toObject().value(QStringLiteral("readingKey")).toString()] = v.toObject();
    return result;
}

struct Preview : ::testing::Test
{
    // The preview of site 102 into NORTHPLANT as one JSON document; the facility must be the
    // same before and after it.
    QJsonObject preview(const QStringList &steps, int expectedStatus = exitStatus::Success)
    {
        const QStringList rowsBefore = db.facilityRows();
        const QByteArray bytesBefore = db.facilityFileBytes();
        QString out;
        QString err;
        EXPECT_EQ(db.runBatch(QStringList{"--site", "102", "--facility", "NORTHPLANT"} + steps +
                                  QStringList{"--preview", "--format", "json"},
                              &out, &err),
                  expectedStatus)
            << err.toStdString();
        EXPECT_EQ(db.facilityRows(), rowsBefore);
        EXPECT_EQ(db.facilityFileBytes(), bytesBefore);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
        return document.object();
    }

    QJsonObject previewAll()
    {
        return preview({"--variables", "--data", "--start", start, "--end", end});
    }

    void importSite(const QStringList &steps)
    {
        ASSERT_EQ(db.runBatch(QStringList{"--site", "102", "--facility", "NORTHPLANT"} + steps),
                  exitStatus::Success);
    }

    // Readings of site 102 strictly between the dates, per reading key.
    std::map<QString, long long> sourceCounts(const QString &from, const QString &to)
    {
        dal::Recordset rs = db.source().Execute(
            QStringLiteral("SELECT SensorType, TrainNumber, COUNT(*) FROM DATA_102 WHERE "
                           "TimeDate>? AND TimeDate<? GROUP BY SensorType, TrainNumber"),
            {Value(*DateTime::parse(from)), Value(*DateTime::parse(to))});
        std::map<QString, long long> counts;
        for (; !rs.Eof(); rs.MoveNext())
            counts[rs.Fields(0).Value().toText() + "_" + rs.Fields(1).Value().toText()] =
                static_cast<long long>(rs.Fields(2).Value().toDouble());
        return counts;
    }

    QString varIdOf(int sensorId)
    {
        return QString::number(db.countInFacility(
            QStringLiteral("SELECT VARID FROM VARDESC WHERE VARNUM=%1").arg(sensorId)));
    }

    test::DemoDatabases db;
};

TEST_F(Preview, OfTheDemoSiteIntoAnEmptyFacility)
{
    const QJsonObject p = previewAll();
    EXPECT_EQ(p["kind"].toString(), "preview");
    EXPECT_TRUE(p["succeeded"].toBool());

    const QJsonObject locations = p["locations"].toObject();
    EXPECT_EQ(texts(locations["added"].toArray(), "key"), QStringList({"00", "01", "02", "12"}));
    EXPECT_EQ(texts(locations["added"].toArray(), "name"),
              QStringList({"Plant Common", "Train 1", "Train 2", "Train 12"}));
    EXPECT_TRUE(locations["kept"].toArray().isEmpty());
    EXPECT_TRUE(locations["removed"].toArray().isEmpty());

    const QJsonObject variables = p["variables"].toObject();
    EXPECT_EQ(variables["created"].toArray().size(), 16);
    EXPECT_TRUE(variables["existing"].toArray().isEmpty());
    EXPECT_TRUE(variables["failed"].toArray().isEmpty());
    EXPECT_EQ(p["captions"].toObject()["written"].toArray().size(), 9);

    // Counted as after the variables are made: every reading has its (new) variable.
    const QJsonObject data = p["data"].toObject();
    const std::map<QString, long long> expected = sourceCounts(start, end);
    long long total = 0;
    for (const auto &[key, count] : expected)
        total += count;
    EXPECT_EQ(data["total"].toInteger(), total);
    EXPECT_EQ(data["written"].toInteger(), total);
    EXPECT_EQ(data["passedOver"].toInteger(), 0);
    const auto perVariable = byKey(data["perVariable"].toArray());
    ASSERT_EQ(perVariable.size(), expected.size());
    for (const auto &[key, count] : expected) {
        const QJsonObject r = perVariable.at(key);
        EXPECT_EQ(r["count"].toInteger(), count) << key.toStdString();
        EXPECT_TRUE(r["newVariable"].toBool());
        EXPECT_TRUE(r["varId"].isNull());
        EXPECT_EQ(r["slots"].toInteger(), count) << "readings 40 minutes apart";
    }
}

TEST_F(Preview, OfTheDemoSiteIntoAFacilityThatHoldsIt)
{
    importSite({"--variables", "--data", "--start", start, "--end", end});
    const QJsonObject p = previewAll();
    EXPECT_TRUE(p["succeeded"].toBool());

    const QJsonObject locations = p["locations"].toObject();
    EXPECT_TRUE(locations["added"].toArray().isEmpty());
    EXPECT_TRUE(locations["removed"].toArray().isEmpty());
    ASSERT_EQ(locations["kept"].toArray().size(), 4);
    for (const QJsonValue &kept : locations["kept"].toArray()) {
        const QJsonObject k = kept.toObject();
        EXPECT_EQ(k["locId"].toInteger(),
                  db.countInFacility(QStringLiteral("SELECT LocID FROM LOCATION WHERE UD1='%1'")
                                         .arg(k["key"].toString())));
    }
    const QJsonObject variables = p["variables"].toObject();
    EXPECT_TRUE(variables["created"].toArray().isEmpty());
    EXPECT_EQ(variables["existing"].toArray().size(), 16);
    EXPECT_TRUE(p["captions"].toObject()["written"].toArray().isEmpty());

    const QJsonObject data = p["data"].toObject();
    EXPECT_EQ(data["written"].toInteger(), 2304);
    for (const QJsonValue &v : data["perVariable"].toArray()) {
        const QJsonObject r = v.toObject();
        EXPECT_FALSE(r["newVariable"].toBool());
        EXPECT_EQ(QString::number(r["varId"].toInteger()),
                  varIdOf(r["sensorId"].toString().toInt()));
    }
}

// A renamed train gets a new location, and its sensors new variables under it; their readings
// still go to the old variables, which the data import finds by sensor id. A sensor whose
// variable is gone has its readings passed over, unless "Variables" makes it again.
TEST_F(Preview, ARenamedTrainAndASensorWithoutVariable)
{
    importSite({"--variables"});
    db.source().Execute(QStringLiteral(
        "UPDATE TRAINS SET TrainName='Train One' WHERE SiteID=102 AND TrainNumber=1"));
    const long long oldTrain1 =
        db.countInFacility(QStringLiteral("SELECT LocID FROM LOCATION WHERE UD1='01'"));
    db.facility()->Execute(QStringLiteral("DELETE FROM VARDESC WHERE VARNUM=15"));

    const QJsonObject p = previewAll();
    const QJsonObject locations = p["locations"].toObject();
    EXPECT_EQ(texts(locations["kept"].toArray(), "key"), QStringList({"00", "02", "12"}));
    EXPECT_EQ(texts(locations["added"].toArray(), "name"), QStringList({"Train One"}));
    EXPECT_EQ(texts(locations["removed"].toArray(), "name"), QStringList({"Train 1"}));
    EXPECT_EQ(locations["removed"].toArray()[0].toObject()["locId"].toInteger(), oldTrain1);

    const QJsonObject variables = p["variables"].toObject();
    EXPECT_EQ(texts(variables["created"].toArray(), "sensorId"),
              QStringList({"14", "12", "13", "11", "15"}));
    EXPECT_EQ(variables["existing"].toArray().size(), 11);

    const auto withVariables = byKey(p["data"].toObject()["perVariable"].toArray());
    EXPECT_TRUE(withVariables.at("1_2")["newVariable"].toBool());
    EXPECT_EQ(QString::number(withVariables.at("1_1")["varId"].toInteger()), varIdOf(11));
    EXPECT_EQ(p["data"].toObject()["passedOver"].toInteger(), 0);

    const QJsonObject dataOnly =
        preview({"--data", "--start", start, "--end", end})["data"].toObject();
    const auto passedOver = byKey(dataOnly["passedOverByKey"].toArray());
    ASSERT_EQ(passedOver.size(), 1u);
    EXPECT_EQ(passedOver.at("1_2")["reason"].toString(), "no variable");
    EXPECT_EQ(passedOver.at("1_2")["sensorId"].toString(), "15");
    EXPECT_EQ(passedOver.at("1_2")["count"].toInteger(), 144);
    EXPECT_EQ(dataOnly["passedOver"].toInteger(), 144);
    EXPECT_EQ(dataOnly["written"].toInteger(), 2304 - 144);
}

TEST_F(Preview, CountsReadingsStrictlyBetweenTheDatesInOneMinuteSlots)
{
    for (const char *at : {"2024-03-05 10:00:00", "2024-03-05 10:15:10", "2024-03-05 10:15:50",
                           "2024-03-05 10:16:00", "2024-03-05 12:00:00"})
        db.source().Execute(QStringLiteral("INSERT INTO DATA_102 (SensorType, TrainNumber, Data, "
                                           "TimeDate) VALUES (9, 1, 1.5, ?)"),
                            {Value(*DateTime::parse(QLatin1String(at)))});
    const QString from = QStringLiteral("2024-03-05 10:00");
    const QString to = QStringLiteral("2024-03-05 12:00");
    const QJsonObject data = preview({"--data", "--start", from, "--end", to})["data"].toObject();

    long long total = 0;
    for (const auto &[key, count] : sourceCounts(from, to))
        total += count;
    EXPECT_EQ(data["total"].toInteger(), total);
    const QJsonObject unknown = byKey(data["passedOverByKey"].toArray()).at("9_1");
    EXPECT_EQ(unknown["count"].toInteger(), 3);
    EXPECT_EQ(unknown["slots"].toInteger(), 2);
    EXPECT_EQ(unknown["first"].toString(), "2024-03-05 10:15:10");
    EXPECT_EQ(unknown["last"].toString(), "2024-03-05 10:16:00");
    EXPECT_EQ(unknown["reason"].toString(), "no sensor");
    EXPECT_TRUE(unknown["sensorId"].isNull());
}

// A reading that cannot be stored ends the count where the import would stop.
TEST_F(Preview, AReadingThatCannotBeStoredEndsTheCount)
{
    importSite({"--variables"});
    db.source().Execute(QStringLiteral("INSERT INTO DATA_102 (SensorType, TrainNumber, Data, "
                                       "TimeDate) VALUES (1, 1, NULL, ?)"),
                        {Value(*DateTime::parse(QStringLiteral("2024-03-05 10:15")))});
    const QJsonObject p = preview({"--data", "--start", start, "--end", end}, exitStatus::Failure);
    EXPECT_FALSE(p["succeeded"].toBool());
    const QJsonObject data = p["data"].toObject();
    EXPECT_FALSE(data["succeeded"].toBool());
    const QJsonObject failure = data["failure"].toObject();
    EXPECT_EQ(failure["readingKey"].toString(), "1_1");
    EXPECT_EQ(failure["timeStamp"].toString(), "2024-03-05 10:15:00");
    EXPECT_EQ(failure["value"].toString(), "Null");
    EXPECT_FALSE(failure["reason"].toString().isEmpty());
    EXPECT_EQ(failure["stored"].toInteger(), failure["position"].toInteger() - 1);
    EXPECT_EQ(data["written"].toInteger(), failure["stored"].toInteger());
}

// A sensor row that cannot be built fails with the column that stops it; two sensors of one
// SensorID have their readings passed over, both of them.
TEST_F(Preview, NamesWhySensorsFailAndWhyReadingsArePassedOver)
{
    db.source().Execute(
        QStringLiteral(
            "INSERT INTO SENSORS_102 (SensorType, TrainNumber, Description, SensorID, Virtual) "
            "VALUES (5, 1, 'No id', NULL, ?)"),
        {Value(false)});
    db.source().Execute(
        QStringLiteral(
            "INSERT INTO SENSORS_102 (SensorType, TrainNumber, Description, SensorID, Virtual) "
            "VALUES (6, 2, 'Twin of 11', 11, ?)"),
        {Value(false)});
    const QJsonObject p = previewAll();
    const QJsonArray failed = p["variables"].toObject()["failed"].toArray();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].toObject()["description"].toString(), "No id");
    EXPECT_TRUE(failed[0].toObject()["reason"].toString().startsWith("SensorID: "));

    const QJsonObject data = p["data"].toObject();
    const auto passedOver = byKey(data["passedOverByKey"].toArray());
    ASSERT_EQ(passedOver.count("1_1"), 1u);
    EXPECT_EQ(passedOver.at("1_1")["reason"].toString(), "duplicate SensorID 11");
    EXPECT_EQ(passedOver.at("1_1")["count"].toInteger(), 144);
    EXPECT_EQ(data["written"].toInteger(), 2304 - 144);
}

TEST_F(Preview, TheTableShowsWhatTheJsonHolds)
{
    QString out;
    ASSERT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--variables", "--data",
                           "--start", start, "--end", end, "--preview"},
                          &out),
              exitStatus::Success);
    EXPECT_TRUE(out.startsWith("Preview of site 102 \"Hilltop Water Plant\" into facility "
                               "NORTHPLANT \"North Plant\""))
        << out.toStdString();
    EXPECT_TRUE(out.contains("Locations: 0 kept, 4 added, 0 removed\n"));
    EXPECT_TRUE(out.contains("Variables: 16 to create, 0 already there, 0 failed\n"));
    EXPECT_TRUE(out.contains("Data: 2304 readings between the dates, 2304 to write, 0 passed"));
    EXPECT_TRUE(out.contains("  add     12   Train 12        new\n")) << out.toStdString();
}

// The preview makes the import's checks, with its messages, and then shows nothing more.
TEST_F(Preview, RefusedChoicesGetTheImportsMessages)
{
    QString out;
    EXPECT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--data", "--start",
                           "someday", "--end", end, "--preview"},
                          &out),
              exitStatus::Failure);
    EXPECT_EQ(out, "[message]\nInvalid Dates\n");
    EXPECT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--preview"}, &out),
              exitStatus::Failure);
    EXPECT_EQ(out, "[message]\nYou didn't select any data to import\n");

    QString err;
    EXPECT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--variables", "--preview",
                           "--format", "xml"},
                          &out, &err),
              exitStatus::BadArguments);
    EXPECT_TRUE(err.contains("--format is table or json, not xml")) << err.toStdString();
    EXPECT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--variables", "--preview",
                           "--report", db.filePath("r.json")},
                          &out, &err),
              exitStatus::BadArguments);
}

} // namespace
