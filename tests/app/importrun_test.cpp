// The date range of a data import: the calendar's edges, as the window and the batch mode
// hand their texts to the one import run, on the server under test; and the hour boundaries
// that the range must pass.

#include "ImportDatabases.h"
#include "app/ImportRun.h"
#include "app/Workspace.h"
#include "support/RecordingUserInterface.h"

#include <gtest/gtest.h>

using namespace zarn;

namespace {

DateTime at(int day, int hour, int minute, int second = 0, int ms = 0)
{
    return DateTime::fromParts(2024, 3, day, hour, minute, second, ms);
}

TEST(HourBoundaries, CountFullHoursThatTheClockPasses)
{
    EXPECT_EQ(hourBoundariesBetween(at(5, 10, 59), at(5, 11, 0)), 1);
    EXPECT_EQ(hourBoundariesBetween(at(5, 10, 59, 59, 999), at(5, 11, 0)), 1);
    EXPECT_EQ(hourBoundariesBetween(at(5, 10, 0), at(5, 10, 59, 59, 999)), 0);
    EXPECT_EQ(hourBoundariesBetween(at(5, 10, 0), at(5, 10, 0)), 0);
    EXPECT_EQ(hourBoundariesBetween(at(5, 23, 30), at(6, 0, 0)), 1);
    EXPECT_EQ(hourBoundariesBetween(at(5, 0, 0), at(6, 0, 0)), 24);
    EXPECT_EQ(hourBoundariesBetween(at(5, 11, 0), at(5, 10, 59)), -1);
}

// Before 30 December 1899 the day count is negative; the hours still count the same way.
TEST(HourBoundaries, HoldBeforeTheDayCountsStart)
{
    const DateTime start = DateTime::fromParts(1899, 12, 29, 22, 59);
    EXPECT_EQ(hourBoundariesBetween(start, DateTime::fromParts(1899, 12, 29, 23, 0)), 1);
    EXPECT_EQ(hourBoundariesBetween(start, DateTime::fromParts(1899, 12, 29, 22, 59, 59)), 0);
    EXPECT_EQ(hourBoundariesBetween(start, DateTime::fromParts(1899, 12, 30, 1, 0)), 3);
}

// Site 17 ("North Works", second in its list) into NORTH ("North Plant", first), its
// variables made beforehand so that the readings have somewhere to go.
struct DateRange : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(workspace.Start(db.iniPath()));
        ImportChoices variables = choices(QString(), QString());
        variables.data = false;
        variables.variables = true;
        ASSERT_TRUE(runImport(workspace, ui, variables));
        ui.messages.clear();
    }
    void TearDown() override { workspace.Close(); }

    static ImportChoices choices(const QString &start, const QString &end)
    {
        ImportChoices result;
        result.siteName = QStringLiteral("North Works");
        result.sitePosition = 1;
        result.facilityName = QStringLiteral("North Plant");
        result.facilityPosition = 0;
        result.data = true;
        result.startDate = start;
        result.endDate = end;
        return result;
    }

    std::vector<QString> shownTexts() const
    {
        std::vector<QString> texts;
        for (const Message &message : ui.messages)
            texts.push_back(message.text);
        return texts;
    }

    test::ImportDatabases db;
    test::RecordingUserInterface ui;
    Workspace workspace{ui};
};

TEST_F(DateRange, TheWholeCalendarIsARange)
{
    EXPECT_TRUE(runImport(workspace, ui, choices("0100-01-01", "9999-12-31 23:59:59")));
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Inserted 3 data records into ZARN database."});
    EXPECT_EQ(db.storedReadings(), 3);
}

// A date outside the calendar would not order as text the way it orders in time: the year
// 10000 sorts before 2024, and a range up to it would find nothing and still succeed.
TEST_F(DateRange, DatesOutsideTheCalendarAreInvalid)
{
    const std::pair<const char *, const char *> ranges[] = {
        {"2024-03-05", "9999-12-31 23:59:59.9999"},
        {"2024-03-05", "10000-01-01"},
        {"0099-12-31 23:59:59", "2024-03-06"},
        {"2024-3-5", "2024-03-05 24:00"},
    };
    for (const auto &[start, end] : ranges) {
        ui.messages.clear();
        EXPECT_FALSE(runImport(workspace, ui, choices(start, end))) << start << " " << end;
        EXPECT_EQ(shownTexts(), std::vector<QString>{"Invalid Dates"}) << start << " " << end;
    }
    EXPECT_EQ(db.storedReadings(), 0);
}

} // namespace
