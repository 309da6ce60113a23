// The hour boundaries that a data import's date range must pass.

#include "app/ImportRun.h"

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

} // namespace
