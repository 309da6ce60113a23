#include "import/StandInFixture.h"

#include <algorithm>
#include <map>

namespace zarn {
namespace {

using test::exclamation;
using test::Rows;

const QStringList emptyTextFields = {
    QStringLiteral("Description"),  QStringLiteral("SiteAddress"),   QStringLiteral("SiteState"),
    QStringLiteral("SiteCity"),     QStringLiteral("SiteZip"),       QStringLiteral("SitePhone"),
    QStringLiteral("SiteContact"),  QStringLiteral("SiteEMail"),     QStringLiteral("MailAddress"),
    QStringLiteral("MailState"),    QStringLiteral("MailCity"),      QStringLiteral("MailZip"),
    QStringLiteral("MailPhone"),    QStringLiteral("MailContact"),   QStringLiteral("MailEMail"),
    QStringLiteral("PermitNumber"), QStringLiteral("NAICS_SIC1"),    QStringLiteral("NAICS_SIC2"),
    QStringLiteral("UD3"),          QStringLiteral("UD4"),           QStringLiteral("UD5"),
    QStringLiteral("UD6"),          QStringLiteral("UD7"),           QStringLiteral("UD8"),
    QStringLiteral("UD9"),          QStringLiteral("Owner"),         QStringLiteral("Notes"),
    QStringLiteral("Crop"),         QStringLiteral("APPSEASONFROM"), QStringLiteral("APPSEASONTO"),
    QStringLiteral("SOILSERIES"),   QStringLiteral("SOILTEXTURE"),   QStringLiteral("SOILDRAINAGE"),
    QStringLiteral("WATERTABLE"),   QStringLiteral("LEGALDESC")};

// One location as the tests compare it: key, name, order, group, LocID.
struct Location
{
    QString key;
    QString name;
    std::int32_t order;
    std::int32_t group;
    std::int32_t locId = 0;

    friend bool operator==(const Location &a, const Location &b)
    {
        return a.key == b.key && a.name == b.name && a.order == b.order && a.group == b.group;
    }
    friend std::ostream &operator<<(std::ostream &os, const Location &l)
    {
        return os << l.key.toStdString() << '/' << l.name.toStdString() << '/' << l.order << '/'
                  << l.group;
    }
};

class LocationsTest : public test::StandInFixture
{
protected:
    // Ordered by key (compared as plain text, whatever the server's collation) and LocID.
    std::vector<Location> locations()
    {
        std::vector<Location> result;
        for (const auto &row : rows(*facility, QStringLiteral("SELECT UD1, Location, RecOrder, "
                                                              "UD2, LocID FROM LOCATION")))
            result.push_back({row[0].toText(), row[1].toText(), row[2].toInt32(), row[3].toInt32(),
                              row[4].toInt32()});
        std::sort(result.begin(), result.end(), [](const Location &a, const Location &b) {
            return a.key != b.key ? a.key < b.key : a.locId < b.locId;
        });
        return result;
    }

    void addTrains(int site, const std::vector<int> &numbers)
    {
        int order = 1;
        for (int n : numbers)
            addTrain(site, std::int32_t{n}, QStringLiteral("Train %1").arg(n),
                     std::int32_t{order++}, std::int32_t{n % 3});
    }

    void addForeignLocation(const QString &key)
    {
        facility->Execute(QStringLiteral("INSERT INTO LOCATION (Location, UD1, Notes, RecOrder, "
                                         "UD2) VALUES ('from elsewhere', ?, 'old notes', 9, 9)"),
                          {key});
    }
};

TEST_F(LocationsTest, ASiteWithoutTrainsGetsThePlantWideLocation)
{
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(locations(),
              (std::vector<Location>{{QStringLiteral("01"), QStringLiteral("My Plant"), 1, 1}}));
}

TEST_F(LocationsTest, TrainNumbersGiveTheirKeys)
{
    addTrains(1, {1, 2, 12, 0, -3});
    addTrains(2, {5}); // another site's train stays out
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(locations(),
              (std::vector<Location>{{QStringLiteral("0-3"), QStringLiteral("Train -3"), 5, 0},
                                     {QStringLiteral("00"), QStringLiteral("Train 0"), 4, 0},
                                     {QStringLiteral("01"), QStringLiteral("Train 1"), 1, 1},
                                     {QStringLiteral("02"), QStringLiteral("Train 2"), 2, 2},
                                     {QStringLiteral("12"), QStringLiteral("Train 12"), 3, 0}}));
}

TEST_F(LocationsTest, EveryFieldOfANewLocationIsWritten)
{
    addTrains(1, {1, 12});
    const DateTime before = DateTime::now();
    importer->CreateLocations(QStringLiteral("1"));
    const DateTime after = DateTime::now();
    const Rows all = rows(*facility, QStringLiteral("SELECT audituser, audittimestamp, "
                                                    "LC_PEOPLE_ID, Acres, LocIdType, AreaId, ") +
                                         emptyTextFields.join(QStringLiteral(", ")) +
                                         QStringLiteral(" FROM LOCATION"));
    ASSERT_EQ(all.size(), 2u);
    for (const auto &row : all) {
        EXPECT_EQ(row[0].toText(), QStringLiteral("VT2ZARN"));
        const DateTime stamp = row[1].toDateTime();
        EXPECT_GE(stamp.days(), before.days() - 1.0 / 86400);
        EXPECT_LE(stamp.days(), after.days() + 1.0 / 86400);
        EXPECT_TRUE(row[2].isNull());
        EXPECT_TRUE(row[3].isNull());
        EXPECT_EQ(row[4].toInt32(), 0);
        EXPECT_EQ(row[5].toInt32(), 0);
        for (qsizetype i = 0; i < emptyTextFields.size(); ++i) {
            const Value &v = row[static_cast<std::size_t>(6 + i)];
            EXPECT_EQ(v.kind(), Value::Kind::Text) << emptyTextFields[i].toStdString();
            EXPECT_EQ(v.toTextOrEmpty(), QString()) << emptyTextFields[i].toStdString();
        }
    }
}

TEST_F(LocationsTest, LocationsOfEarlierRunsAndOtherSitesAreReplaced)
{
    addForeignLocation(QStringLiteral("07"));
    addForeignLocation(QStringLiteral("08"));
    addForeignLocation(QString());
    addForeignLocation(QStringLiteral("02"));
    addTrains(1, {1, 2});
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(locations(),
              (std::vector<Location>{{QStringLiteral("01"), QStringLiteral("Train 1"), 1, 1},
                                     {QStringLiteral("02"), QStringLiteral("Train 2"), 2, 2}}));
    // The row rewritten in place carries only the train's values.
    EXPECT_EQ(rows(*facility, QStringLiteral("SELECT Notes FROM LOCATION WHERE UD1='02'"))[0][0]
                  .toTextOrEmpty(),
              QString());
}

// A location stays only for the train whose key and name it holds: a renamed train (or
// another site's train of the same number) gets a location of its own.
TEST_F(LocationsTest, ASecondRunKeepsOnlyTheLocationsWhoseKeyAndNameMatch)
{
    addTrains(1, {1, 2, 3});
    EXPECT_TRUE(importer->CreateLocations(QStringLiteral("1")));
    const std::vector<Location> first = locations();
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(importer->tally().locations.added,
              (std::vector<LocationEntry>{
                  {QStringLiteral("01"), QStringLiteral("Train 1"), first[0].locId},
                  {QStringLiteral("02"), QStringLiteral("Train 2"), first[1].locId},
                  {QStringLiteral("03"), QStringLiteral("Train 3"), first[2].locId}}));

    source->Execute(QStringLiteral("DELETE FROM TRAINS WHERE TrainNumber=3"));
    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainName='Renamed' WHERE TrainNumber=2"));
    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainOrder=7 WHERE TrainNumber=1"));
    addTrains(1, {4});
    EXPECT_TRUE(importer->CreateLocations(QStringLiteral("1")));
    const std::vector<Location> second = locations();
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0], (Location{QStringLiteral("01"), QStringLiteral("Train 1"), 7, 1}));
    EXPECT_EQ(second[0].locId, first[0].locId);
    EXPECT_EQ(second[1].name, QStringLiteral("Renamed"));
    EXPECT_GT(second[1].locId, first[2].locId);
    EXPECT_EQ(second[2].key, QStringLiteral("04"));
    EXPECT_GT(second[2].locId, first[2].locId);
    EXPECT_TRUE(ui.messages.empty());

    const LocationTally &tally = importer->tally().locations;
    EXPECT_TRUE(tally.ran);
    EXPECT_TRUE(tally.succeeded);
    EXPECT_EQ(tally.kept, (std::vector<LocationEntry>{
                              {QStringLiteral("01"), QStringLiteral("Train 1"), first[0].locId}}));
    EXPECT_EQ(tally.removed,
              (std::vector<LocationEntry>{
                  {QStringLiteral("02"), QStringLiteral("Train 2"), first[1].locId},
                  {QStringLiteral("03"), QStringLiteral("Train 3"), first[2].locId}}));
    EXPECT_EQ(tally.added,
              (std::vector<LocationEntry>{
                  {QStringLiteral("02"), QStringLiteral("Renamed"), second[1].locId},
                  {QStringLiteral("04"), QStringLiteral("Train 4"), second[2].locId}}));
}

TEST_F(LocationsTest, ThePlanShowsWhatTheStepThenDoesAndWritesNothing)
{
    addTrains(1, {1, 2});
    importer->CreateLocations(QStringLiteral("1"));
    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainName='Renamed' WHERE TrainNumber=2"));
    const std::vector<Location> before = locations();
    const long auditRows = count(QStringLiteral("action_history_trans"));

    const LocationPlan plan = importer->PlanLocations(QStringLiteral("1"));
    EXPECT_EQ(locations(), before);
    EXPECT_EQ(count(QStringLiteral("action_history_trans")), auditRows);
    EXPECT_EQ(plan.kept, (std::vector<LocationEntry>{
                             {QStringLiteral("01"), QStringLiteral("Train 1"), before[0].locId}}));
    EXPECT_EQ(plan.removed,
              (std::vector<LocationEntry>{
                  {QStringLiteral("02"), QStringLiteral("Train 2"), before[1].locId}}));
    EXPECT_EQ(plan.added,
              (std::vector<LocationEntry>{{QStringLiteral("02"), QStringLiteral("Renamed"), 0}}));

    EXPECT_TRUE(importer->CreateLocations(QStringLiteral("1")));
    const LocationTally &done = importer->tally().locations;
    EXPECT_EQ(done.kept, plan.kept);
    EXPECT_EQ(done.removed, plan.removed);
    ASSERT_EQ(done.added.size(), 1u);
    EXPECT_EQ(done.added[0].name, QStringLiteral("Renamed"));
    EXPECT_EQ(done.added[0].locId, locations()[1].locId);
}

TEST_F(LocationsTest, TwoTrainsWithOneNumberGiveTwoLocations)
{
    addTrains(1, {1, 1});
    importer->CreateLocations(QStringLiteral("1"));
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_EQ(locations().size(), 2u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LocationsTest, AFailingTrainLeavesTheEarlierLocationsInPlace)
{
    addTrains(1, {1, 2});
    importer->CreateLocations(QStringLiteral("1"));
    const std::vector<Location> before = locations();
    const long auditRows = count(QStringLiteral("action_history_trans"));

    for (const auto &[column, value] :
         {std::pair{QStringLiteral("TrainName"), Value::null()},
          std::pair{QStringLiteral("TrainNumber"), Value(std::int32_t{40000})},
          std::pair{QStringLiteral("[Group]"), Value::null()}}) {
        source->Execute(QStringLiteral("DELETE FROM TRAINS WHERE TrainNumber NOT IN (1, 2)"));
        addTrain(1, std::int32_t{5}, QStringLiteral("Five"), std::int32_t{3}, std::int32_t{1});
        source->Execute(QStringLiteral("UPDATE TRAINS SET %1=? WHERE TrainNumber=5").arg(column),
                        {value});
        ui.messages.clear();
        EXPECT_FALSE(importer->CreateLocations(QStringLiteral("1")));
        EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(
                                   QStringLiteral("Program was unable to create locations"))}))
            << column.toStdString();
        const LocationTally &tally = importer->tally().locations;
        EXPECT_TRUE(tally.ran);
        EXPECT_FALSE(tally.succeeded);
        EXPECT_FALSE(tally.failure.isEmpty());
        EXPECT_TRUE(tally.kept.empty() && tally.added.empty() && tally.removed.empty());
        ASSERT_EQ(ui.details.size(), 1u);
        EXPECT_TRUE(
            ui.details[0].startsWith(QStringLiteral("The locations could not be written: ")));
        ui.details.clear();
        const std::vector<Location> after = locations();
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i], before[i]);
            EXPECT_EQ(after[i].locId, before[i].locId);
        }
        EXPECT_EQ(count(QStringLiteral("action_history_trans")), auditRows);
    }
}

TEST_F(LocationsTest, AFailureWhileWritingUndoesTheWholeStep)
{
    addForeignLocation(QStringLiteral("09"));
    addTrains(1, {1, 2});
    importer->CreateLocations(QStringLiteral("1"));
    addForeignLocation(QStringLiteral("09"));
    const std::vector<Location> before = locations();
    const long auditRows = count(QStringLiteral("action_history_trans"));

    // The third train's row is refused after the second train's row has been rewritten and the
    // first train's (renamed) and the foreign one deleted.
    facility->Execute(QStringLiteral("CREATE UNIQUE INDEX location_name ON LOCATION (Location)"));
    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainName='Twin' WHERE TrainNumber=1"));
    addTrain(1, std::int32_t{3}, QStringLiteral("Twin"), std::int32_t{3}, std::int32_t{1});
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(
                               QStringLiteral("Program was unable to create locations"))}));
    const std::vector<Location> after = locations();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i], before[i]);
        EXPECT_EQ(after[i].locId, before[i].locId);
    }
    EXPECT_EQ(count(QStringLiteral("action_history_trans")), auditRows);
}

TEST_F(LocationsTest, AnInjectionLikeSiteIdentifierFindsNoTrains)
{
    addTrains(1, {4, 5});
    importer->CreateLocations(QStringLiteral("1' OR '1'='1"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(locations(),
              (std::vector<Location>{{QStringLiteral("01"), QStringLiteral("My Plant"), 1, 1}}));
}

TEST_F(LocationsTest, ANewLocationIsAuditedFieldByField)
{
    importer->CreateLocations(QStringLiteral("1"));
    const Rows trans = rows(*facility, QStringLiteral("SELECT id, audituser, tablename, recidnum, "
                                                      "action, login_history_id FROM "
                                                      "action_history_trans"));
    ASSERT_EQ(trans.size(), 1u);
    const std::int32_t locId = locations().at(0).locId;
    EXPECT_EQ(trans[0][1].toText(), QStringLiteral("VT2ZARN"));
    EXPECT_EQ(trans[0][2].toText(), QStringLiteral("LOCATION"));
    EXPECT_EQ(trans[0][3].toInt32(), locId);
    EXPECT_EQ(trans[0][4].toInt32(), 1);
    EXPECT_TRUE(trans[0][5].isNull());

    const Rows details = rows(*facility, QStringLiteral("SELECT transid, fieldname, oldvalue, "
                                                        "newvalue FROM action_history_detail"));
    // Every column of LOCATION but audituser and audittimestamp.
    const long columns =
        static_cast<long>(rows(*facility, QStringLiteral("SELECT * FROM LOCATION")).at(0).size());
    ASSERT_EQ(static_cast<long>(details.size()), columns - 2);
    std::map<QString, Value> newValues;
    for (const auto &row : details) {
        EXPECT_EQ(row[0].toInt32(), trans[0][0].toInt32());
        EXPECT_TRUE(row[2].isNull());
        newValues[row[1].toText()] = row[3];
    }
    EXPECT_EQ(newValues.count(QStringLiteral("AUDITUSER")), 0u);
    EXPECT_EQ(newValues[QStringLiteral("LOCID")].toInt32(), locId);
    EXPECT_EQ(newValues[QStringLiteral("LOCATION")].toText(), QStringLiteral("My Plant"));
    EXPECT_EQ(newValues[QStringLiteral("UD1")].toText(), QStringLiteral("01"));
    EXPECT_EQ(newValues[QStringLiteral("RECORDER")].toInt32(), 1);
    EXPECT_TRUE(newValues[QStringLiteral("NOTES")].isNull());
    EXPECT_TRUE(newValues[QStringLiteral("LC_PEOPLE_ID")].isNull());
    EXPECT_EQ(newValues[QStringLiteral("AREAID")].toInt32(), 0);
}

TEST_F(LocationsTest, AKeptLocationIsAuditedOnlyWhereItChanged)
{
    addTrains(1, {1});
    importer->CreateLocations(QStringLiteral("1"));
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_EQ(count(QStringLiteral("action_history_trans")), 1);

    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainOrder=5"));
    importer->CreateLocations(QStringLiteral("1"));
    const Rows trans = rows(*facility, QStringLiteral("SELECT action, recidnum FROM "
                                                      "action_history_trans ORDER BY id"));
    ASSERT_EQ(trans.size(), 2u);
    EXPECT_EQ(trans[1][0].toInt32(), 2);
    EXPECT_EQ(trans[1][1].toInt32(), locations().at(0).locId);
    const Rows details =
        rows(*facility, QStringLiteral("SELECT fieldname, oldvalue, newvalue FROM "
                                       "action_history_detail WHERE transid=(SELECT "
                                       "MAX(id) FROM action_history_trans)"));
    ASSERT_EQ(details.size(), 1u);
    EXPECT_EQ(details[0][0].toText(), QStringLiteral("RECORDER"));
    EXPECT_EQ(details[0][1].toText(), QStringLiteral("1"));
    EXPECT_EQ(details[0][2].toText(), QStringLiteral("5"));

    // A renamed train's location is a new one, audited as added.
    source->Execute(QStringLiteral("UPDATE TRAINS SET TrainName='Renamed'"));
    importer->CreateLocations(QStringLiteral("1"));
    const Rows last = rows(*facility, QStringLiteral("SELECT action, recidnum FROM "
                                                     "action_history_trans ORDER BY id"));
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[2][0].toInt32(), 1);
    EXPECT_EQ(last[2][1].toInt32(), locations().at(0).locId);
}

TEST_F(LocationsTest, AMissingAuditTableDoesNotStopTheLocations)
{
    facility->Execute(QStringLiteral("DROP TABLE action_history_detail"));
    addTrains(1, {1, 2});
    importer->CreateLocations(QStringLiteral("1"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(locations().size(), 2u);
}

} // namespace
} // namespace zarn
