// The forms of a preview and a report: the JSON document's fields and the readable tables, from
// a record built by hand; and the location rule the preview applies.

#include "app/RunRecordJson.h"
#include "app/RunTables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zarn;

namespace {

DateTime at(int hour, int minute)
{
    return DateTime::fromParts(2024, 3, 5, hour, minute);
}

RunRecord failedReport()
{
    RunRecord r;
    r.kind = RunRecord::Kind::Report;
    r.siteId = QStringLiteral("17");
    r.siteName = QStringLiteral("North Works");
    r.facilityFileName = QStringLiteral("NORTH");
    r.facilityName = QStringLiteral("North Plant");
    r.data = true;
    r.startDate = QStringLiteral("2024-03-05");
    r.endDate = QStringLiteral("2024-03-06");
    r.messages = {Message{QStringLiteral("Program was unable to import the data into ZARN"),
                          MessageIcon::Exclamation, MessageButtons::Ok, QString(), 0}};
    DataTally &d = r.tally.data;
    d.ran = true;
    d.total = 120;
    d.written = 100;
    VariableReadings flow;
    flow.readingKey = QStringLiteral("1_1");
    flow.varId = 7;
    flow.count = 100;
    flow.first = at(10, 15);
    flow.last = at(11, 54);
    d.perVariable = {flow};
    d.passedOver = {PassedOverReadings{QStringLiteral("3_1"), 9, QStringLiteral("no variable"),
                                       QStringLiteral("173"), std::nullopt, std::nullopt, 0}};
    d.failure = ReadingFailure{QStringLiteral("1_1"),
                               QStringLiteral("2024-03-05 11:55:00"),
                               QString(),
                               110,
                               100,
                               QStringLiteral("server says no"),
                               QString()};
    return r;
}

TEST(RunRecordJson, HoldsTheStepsTheFailureAndWhatToDoNext)
{
    const QJsonObject o = QJsonDocument::fromJson(toJsonDocument(failedReport())).object();
    EXPECT_EQ(o["kind"].toString(), "report");
    EXPECT_FALSE(o["succeeded"].toBool());
    EXPECT_EQ(o["chosen"].toObject()["start"].toString(), "2024-03-05");
    EXPECT_EQ(o["messages"].toArray()[0].toObject()["kind"].toString(), "exclamation");
    EXPECT_FALSE(o["locations"].toObject()["ran"].toBool());

    const QJsonObject data = o["data"].toObject();
    EXPECT_EQ(data["written"].toInteger(), 100);
    EXPECT_EQ(data["passedOver"].toInteger(), 9);
    const QJsonObject flow = data["perVariable"].toArray()[0].toObject();
    EXPECT_EQ(flow["varId"].toInteger(), 7);
    EXPECT_EQ(flow["first"].toString(), "2024-03-05 10:15:00");
    EXPECT_FALSE(flow.contains("slots")) << "a report does not count slots";
    const QJsonObject passed = data["passedOverByKey"].toArray()[0].toObject();
    EXPECT_TRUE(passed["first"].isNull());
    EXPECT_EQ(passed["reason"].toString(), "no variable");
    const QJsonObject failure = data["failure"].toObject();
    EXPECT_EQ(failure["position"].toInteger(), 110);
    EXPECT_EQ(failure["stored"].toInteger(), 100);
    EXPECT_EQ(failure["serverText"].toString(), "server says no");
    EXPECT_EQ(failure["rerun"].toString(), rerunNote());
}

TEST(RunRecordJson, APreviewCountsSlotsAndLeavesNewVariablesWithoutId)
{
    RunRecord r = failedReport();
    r.kind = RunRecord::Kind::Preview;
    r.tally.data.perVariable[0].varId = 0;
    r.tally.data.perVariable[0].newVariable = true;
    r.tally.data.perVariable[0].slotCount = 80;
    const QJsonObject o = QJsonDocument::fromJson(toJsonDocument(r)).object();
    EXPECT_EQ(o["kind"].toString(), "preview");
    const QJsonObject flow = o["data"].toObject()["perVariable"].toArray()[0].toObject();
    EXPECT_TRUE(flow["varId"].isNull());
    EXPECT_TRUE(flow["newVariable"].toBool());
    EXPECT_EQ(flow["slots"].toInteger(), 80);
}

TEST(RunTables, ShowOnlyTheStepsThatRanInAlignedColumns)
{
    const RunView view = viewOf(failedReport());
    ASSERT_EQ(view.tables.size(), 1u);
    EXPECT_EQ(view.tables[0].title, "Data");
    EXPECT_EQ(view.heading, "Report of site 17 \"North Works\" into facility NORTH \"North "
                            "Plant\": Data from 2024-03-05 to 2024-03-06 (both excluded)");
    const QString text = toText(view);
    EXPECT_TRUE(text.contains("  Data: 120 readings between the dates, 100 written, 9 passed over "
                              "(no variable maps them) (the step failed)\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Stopped at reading 110 (1_1 at 2024-03-05 11:55:00, value \"\"): "
                              "server says no; 100 readings before it were stored."));
    EXPECT_TRUE(text.contains(rerunNote()));
    EXPECT_TRUE(text.contains("  [exclamation] Program was unable to import the data into ZARN\n"));
    // Numbers to the right of their column, texts to the left.
    EXPECT_TRUE(
        text.contains("  Reading key  SensorID  Variable     Readings  First                "
                      "Last\n"
                      "  1_1                    7                 100  2024-03-05 10:15:00  "
                      "2024-03-05 11:54:00\n"
                      "  3_1          173       no variable         9\n"))
        << text.toStdString();
}

TEST(RunTables, APreviewSpeaksOfWhatWouldBeDone)
{
    RunRecord r;
    r.kind = RunRecord::Kind::Preview;
    r.variables = true;
    r.tally.locations.ran = true;
    r.tally.locations.succeeded = true;
    r.tally.locations.added = {LocationEntry{"01", "Train 1", 0}};
    r.tally.variables.ran = true;
    r.tally.variables.succeeded = true;
    r.tally.variables.created = {SensorEntry{"171", "1", "1", "Flow", QString(), 0}};
    const QString text = toText(viewOf(r));
    EXPECT_TRUE(text.contains("  Locations: 0 kept, 1 added, 0 removed\n"));
    EXPECT_TRUE(text.contains("  Variables: 1 to create, 0 already there, 0 failed\n"));
    EXPECT_TRUE(text.contains("  add     01   Train 1    new\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("  create       171           1  1      Flow\n"))
        << text.toStdString();
}

} // namespace
