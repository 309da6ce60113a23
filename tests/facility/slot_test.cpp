#include "facility/SlotArithmetic.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

DateTime at(int day, int hour, int minute, int second = 0, int ms = 0)
{
    return DateTime::fromParts(2024, 3, day, hour, minute, second, ms);
}

TEST(SlotLength, TheSixSupportedLengthsAreExact)
{
    EXPECT_EQ(slot::minutesPerInterval(6), 240);
    EXPECT_EQ(slot::minutesPerInterval(24), 60);
    EXPECT_EQ(slot::minutesPerInterval(48), 30);
    EXPECT_EQ(slot::minutesPerInterval(96), 15);
    EXPECT_EQ(slot::minutesPerInterval(288), 5);
    EXPECT_EQ(slot::minutesPerInterval(1440), 1);
}

TEST(SlotLength, OtherCountsRoundHalfToEven)
{
    EXPECT_EQ(slot::minutesPerInterval(7), 206); // 205.71
    EXPECT_EQ(slot::minutesPerInterval(12), 120);
    EXPECT_EQ(slot::minutesPerInterval(64), 22);  // 22.5 goes down to the even 22
    EXPECT_EQ(slot::minutesPerInterval(576), 2);  // 2.5 goes down to the even 2
    EXPECT_EQ(slot::minutesPerInterval(960), 2);  // 1.5 goes up to the even 2
    EXPECT_EQ(slot::minutesPerInterval(2880), 0); // 0.5 goes down to 0
    EXPECT_EQ(slot::minutesPerInterval(-1), -1440);
}

TEST(SlotLength, ZeroSlotsIsADivisionByZero)
{
    try {
        slot::minutesPerInterval(0);
        FAIL() << "no error raised";
    } catch (const Error &e) {
        EXPECT_EQ(e.number(), errc::DivisionByZero);
    }
}

TEST(IntervalCode, OneCodePerSupportedLengthAndHForTheRest)
{
    EXPECT_EQ(slot::intervalCode(6), "4");
    EXPECT_EQ(slot::intervalCode(24), "H");
    EXPECT_EQ(slot::intervalCode(48), "3");
    EXPECT_EQ(slot::intervalCode(96), "F");
    EXPECT_EQ(slot::intervalCode(288), "5");
    EXPECT_EQ(slot::intervalCode(1440), "1");
    EXPECT_EQ(slot::intervalCode(7), "H");
    EXPECT_EQ(slot::intervalCode(0), "H");
    EXPECT_EQ(slot::intervalCode(-1), "H");
}

TEST(SlotStart, OneTimeStampInEverySlotLength)
{
    const DateTime t = at(5, 10, 47, 31);
    EXPECT_EQ(slot::slotStart(t, 1440), at(5, 10, 47));
    EXPECT_EQ(slot::slotStart(t, 288), at(5, 10, 45));
    EXPECT_EQ(slot::slotStart(t, 96), at(5, 10, 45));
    EXPECT_EQ(slot::slotStart(t, 48), at(5, 10, 30));
    EXPECT_EQ(slot::slotStart(t, 24), at(5, 10, 0));
    EXPECT_EQ(slot::slotStart(t, 6), at(5, 8, 0));
    EXPECT_EQ(slot::slotStart(t, 12), at(5, 0, 0));
    EXPECT_EQ(slot::slotStart(t, -1), at(5, 0, 0));
}

TEST(SlotStart, HalfASecondBeforeMidnightBelongsToTheNextDay)
{
    EXPECT_EQ(slot::slotStart(at(5, 23, 59, 59, 600), 1440), at(6, 0, 0));
    EXPECT_EQ(slot::slotStart(at(5, 23, 59, 59, 500), 1440), at(6, 0, 0));
    EXPECT_EQ(slot::slotStart(at(5, 23, 59, 59, 499), 1440), at(5, 23, 59));
    // The carry runs through the month and the year.
    EXPECT_EQ(slot::slotStart(DateTime::fromParts(2023, 12, 31, 23, 59, 59, 500), 24),
              DateTime::fromParts(2024, 1, 1));
}

TEST(SlotStart, RoundedSecondsCrossIntoTheNextSlot)
{
    EXPECT_EQ(slot::slotStart(at(5, 10, 29, 59, 600), 48), at(5, 10, 30));
    EXPECT_EQ(slot::slotStart(at(5, 10, 29, 59, 400), 48), at(5, 10, 0));
    EXPECT_EQ(slot::slotStart(at(5, 10, 14, 59, 500), 96), at(5, 10, 15));
}

TEST(SlotStart, ASlotStartIsItsOwnSlotStart)
{
    for (int n : {6, 24, 48, 96, 288, 1440}) {
        const DateTime start = at(5, 16, 0);
        EXPECT_EQ(slot::slotStart(start, n), start) << n << " slots";
        EXPECT_EQ(slot::slotStart(slot::slotStart(at(5, 17, 23, 45), n), n),
                  slot::slotStart(at(5, 17, 23, 45), n))
            << n << " slots";
    }
}

TEST(SlotStart, DatesBeforeTheEpochDayCountForwardInTime)
{
    const DateTime t = DateTime::fromParts(1899, 12, 29, 10, 47, 31);
    EXPECT_EQ(slot::slotStart(t, 1440), DateTime::fromParts(1899, 12, 29, 10, 47));
    EXPECT_EQ(slot::slotStart(t, 24), DateTime::fromParts(1899, 12, 29, 10, 0));
}

TEST(SlotEnd, TheStartPlusTheSlotLength)
{
    EXPECT_EQ(slot::slotEnd(at(5, 0, 0), slot::minutesPerInterval(12)), at(5, 2, 0));
    EXPECT_EQ(slot::slotEnd(at(5, 23, 59), 1), at(6, 0, 0));
    // A start that is not a slot start is not moved.
    EXPECT_EQ(slot::slotEnd(at(5, 10, 7, 13), 60), at(5, 11, 7, 13));
}

} // namespace
} // namespace zarn
