// The batch mode's run report (--report) on the server under test: its counts against what the
// facility holds after a run that succeeds and after one that fails mid-way, and that it is
// written whole or not at all.

#include "DemoDatabases.h"
#include "app/BatchMode.h"
#include "platform/dal/Recordset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zarn;

namespace {

const QStringList importAll = {"--site", "102",     "--facility", "NORTHPLANT", "--variables",
                               "--data", "--start", "2024-03-03", "--end",      "2024-03-09"};
const QString created = QStringLiteral("[message]\nCreated 16 ZARN Variables.\r\n\n");
const QString inserted =
    QStringLiteral("[message]\nInserted 2304 data records into ZARN database.\n");

QStringList texts(const QJsonArray &array, const char *field)
{
    QStringList result;
    for (const QJsonValue &v : array)
        result << v.toObject().value(QLatin1String(field)).toVariant().toString();
    return result;
}

struct Report : ::testing::Test
{
    QString reportPath() const { return db.filePath(QStringLiteral("report.json")); }

    int run(const QStringList &arguments)
    {
        return db.runBatch(arguments + QStringList{"--report", reportPath()}, &out, &err);
    }

    QJsonObject report() const
    {
        QFile file(reportPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << reportPath().toStdString();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError);
        return document.object();
    }

    long long stored(const QString &where = QString()) const
    {
        return db.countInFacility(QStringLiteral("SELECT COUNT(*) FROM DD1_VALUES") + where);
    }

    // Makes the first reading of sensor type 1 on train 1 after 10:00 on 5 March Null.
    void nullReading()
    {
        db.source().Execute(
            QStringLiteral("UPDATE DATA_102 SET Data=NULL WHERE SensorType=1 AND TrainNumber=1 "
                           "AND TimeDate=(SELECT MIN(TimeDate) FROM DATA_102 WHERE SensorType=1 "
                           "AND TrainNumber=1 AND TimeDate>?)"),
            {Value(*DateTime::parse(QStringLiteral("2024-03-05 10:00")))});
        ASSERT_EQ(
            db.countInSource(QStringLiteral("SELECT COUNT(*) FROM DATA_102 WHERE Data IS NULL")),
            1);
    }

    test::DemoDatabases db;
    QString out;
    QString err;
};

// The report leaves the messages as they are.
TEST_F(Report, OfASuccessfulRunKeepsItsMessages)
{
    ASSERT_EQ(run(importAll), exitStatus::Success);
    EXPECT_EQ(out, created + inserted) << out.toStdString();
    const QJsonObject r = report();
    EXPECT_EQ(r["kind"].toString(), "report");
    EXPECT_TRUE(r["succeeded"].toBool());
    EXPECT_EQ(r["site"].toObject()["id"].toString(), "102");
    EXPECT_EQ(r["facility"].toObject()["fileName"].toString(), "NORTHPLANT");
    EXPECT_EQ(texts(r["messages"].toArray(), "text"),
              QStringList({"Created 16 ZARN Variables.\r\n",
                           "Inserted 2304 data records into ZARN database."}));
}

// Waits on the variable steps filling their part of the tally.
TEST_F(Report, OfASuccessfulRunCountsWhatTheVariableStepsWrote)
{
    ASSERT_EQ(run(importAll), exitStatus::Success);
    const QJsonObject r = report();
    const QJsonObject locations = r["locations"].toObject();
    EXPECT_TRUE(locations["ran"].toBool());
    EXPECT_TRUE(locations["succeeded"].toBool());
    EXPECT_EQ(texts(locations["added"].toArray(), "key"), QStringList({"00", "01", "02", "12"}));
    for (const QJsonValue &added : locations["added"].toArray())
        EXPECT_EQ(added.toObject()["locId"].toInteger(),
                  db.countInFacility(QStringLiteral("SELECT LocID FROM LOCATION WHERE UD1='%1'")
                                         .arg(added.toObject()["key"].toString())));
    const QJsonObject variables = r["variables"].toObject();
    EXPECT_TRUE(variables["succeeded"].toBool());
    EXPECT_EQ(variables["created"].toArray().size(),
              db.countInFacility(QStringLiteral("SELECT COUNT(*) FROM VARDESC")));
    EXPECT_TRUE(variables["failed"].toArray().isEmpty());
    EXPECT_EQ(r["captions"].toObject()["written"].toArray().size(), 9);
}

// Waits on the data import filling its part of the tally.
TEST_F(Report, OfASuccessfulRunCountsTheReadingsOfEachVariable)
{
    ASSERT_EQ(run(importAll), exitStatus::Success);
    const QJsonObject data = report()["data"].toObject();
    EXPECT_TRUE(data["ran"].toBool());
    EXPECT_TRUE(data["succeeded"].toBool());
    EXPECT_EQ(data["written"].toInteger(), stored());
    EXPECT_EQ(data["passedOver"].toInteger(), 0);
    EXPECT_TRUE(data["failure"].isNull());
    const QJsonArray perVariable = data["perVariable"].toArray();
    EXPECT_EQ(perVariable.size(), 16);
    for (const QJsonValue &v : perVariable) {
        const QJsonObject r = v.toObject();
        const QString where = QStringLiteral(" WHERE varid=%1").arg(r["varId"].toInteger());
        EXPECT_EQ(r["count"].toInteger(), stored(where));
        dal::Recordset span = db.facility()->Execute(
            QStringLiteral("SELECT MIN(datestamp), MAX(datestamp) FROM DD1_VALUES") + where);
        EXPECT_EQ(r["first"].toString(), span.Fields(0).Value().toDateTime().toIsoText());
        EXPECT_EQ(r["last"].toString(), span.Fields(1).Value().toDateTime().toIsoText());
    }
}

// Waits on the data import filling its part of the tally.
TEST_F(Report, OfARunThatFailsMidwayNamesTheReadingAndWhatWasStored)
{
    ASSERT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--variables"}),
              exitStatus::Success);
    nullReading();
    EXPECT_EQ(run({"--site", "102", "--facility", "NORTHPLANT", "--data", "--start", "2024-03-03",
                   "--end", "2024-03-09"}),
              exitStatus::Failure);
    EXPECT_TRUE(out.contains("[exclamation]\nProgram was unable to import the data into ZARN\n"))
        << out.toStdString();

    const QJsonObject r = report();
    EXPECT_FALSE(r["succeeded"].toBool());
    const QJsonObject data = r["data"].toObject();
    EXPECT_FALSE(data["succeeded"].toBool());
    const QJsonObject failure = data["failure"].toObject();
    EXPECT_EQ(failure["readingKey"].toString(), "1_1");
    EXPECT_TRUE(failure["timeStamp"].toString().startsWith("2024-03-05 1"));
    EXPECT_EQ(failure["value"].toString(), "Null");
    EXPECT_EQ(failure["stored"].toInteger(), stored());
    EXPECT_EQ(data["written"].toInteger(), stored());
    EXPECT_GT(stored(), 0);
    EXPECT_LT(stored(), 2304);
    EXPECT_TRUE(failure["rerun"].toString().startsWith("Running the same import again"));

    // As the report says: once the reading is mended, the same import stores the rest.
    db.source().Execute(QStringLiteral("UPDATE DATA_102 SET Data=2.5 WHERE Data IS NULL"));
    EXPECT_EQ(run({"--site", "102", "--facility", "NORTHPLANT", "--data", "--start", "2024-03-03",
                   "--end", "2024-03-09"}),
              exitStatus::Success);
    EXPECT_EQ(stored(), 2304);
}

// The report goes through a temporary file renamed into place: a report whose folder is
// missing is refused before anything runs, and a failed start-up is reported too.
TEST_F(Report, IsWrittenWholeOrNotAtAll)
{
    const QString missingFolder = db.filePath(QStringLiteral("no-such-folder/report.json"));
    EXPECT_EQ(db.runBatch(QStringList{"--site", "102", "--facility", "NORTHPLANT", "--variables",
                                      "--report", missingFolder},
                          &out, &err),
              exitStatus::BadArguments);
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    EXPECT_TRUE(err.contains("the report's folder " +
                             QDir::toNativeSeparators(QFileInfo(missingFolder).absolutePath()) +
                             " does not exist"))
        << err.toStdString();
    EXPECT_EQ(db.countInFacility(QStringLiteral("SELECT COUNT(*) FROM VARDESC")), 0);
    EXPECT_FALSE(QFile::exists(missingFolder));

    QDir folder(db.filePath(QStringLiteral("reports")));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const QString path = folder.filePath(QStringLiteral("run.json"));
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(db.runBatch({"--site", "102", "--facility", "NORTHPLANT", "--variables",
                               "--report", path}),
                  exitStatus::Success);
    EXPECT_EQ(folder.entryList(QDir::Files), QStringList({"run.json"}));

    const QString badIni = db.filePath(QStringLiteral("bad.ini"));
    QFile ini(badIni);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("PELKZARN_CONNECTION_DBTYPE=7\r\n");
    ini.close();
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    EXPECT_EQ(runBatchMode({"--batch", "--config", badIni, "--site", "102", "--facility",
                            "NORTHPLANT", "--variables", "--report", path},
                           outStream, errStream),
              exitStatus::Failure);
    const QJsonObject r = [&] {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }();
    EXPECT_FALSE(r["succeeded"].toBool());
    EXPECT_FALSE(r["messages"].toArray().isEmpty());
    EXPECT_FALSE(r["locations"].toObject()["ran"].toBool());
}

} // namespace
