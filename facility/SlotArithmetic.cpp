#include "facility/SlotArithmetic.h"

#include "platform/Error.h"
#include "platform/Value.h"

#include <cmath>

namespace zarn::slot {

namespace {

constexpr std::int64_t msPerSecond = 1000;
constexpr std::int64_t msPerMinute = 60 * msPerSecond;
constexpr std::int64_t secondsPerDay = 86'400;
constexpr std::int64_t msPerDay = secondsPerDay * msPerSecond;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Whole milliseconds first, as the date-time reads back, so that a time stamp written as
// hh:mm:59.5 is exactly half a second and rounds up, whatever the double's last bit says.
std::int64_t wholeMilliseconds(DateTime t)
{
    return std::llround(t.days() * static_cast<double>(msPerDay));
}

// One division of an exact millisecond count gives the double nearest to that instant, the
// same one DateTime::fromParts gives.
DateTime fromMilliseconds(std::int64_t ms)
{
    return DateTime(static_cast<double>(ms) / static_cast<double>(msPerDay));
}

// The minute of the day at which the slot containing the given hour and minute starts.
std::int64_t slotStartMinute(std::int32_t intervalsInDay, std::int64_t hour, std::int64_t minute)
{
    switch (intervalsInDay) {
    case 6:
        return (hour / 4) * 240;
    case 24:
        return hour * 60;
    case 48:
        return hour * 60 + (minute / 30) * 30;
    case 96:
        return hour * 60 + (minute / 15) * 15;
    case 288:
        return hour * 60 + (minute / 5) * 5;
    case 1440:
        return hour * 60 + minute;
    default:
        return 0;
    }
}

} // namespace

QString intervalCode(std::int32_t intervalsInDay)
{
    switch (intervalsInDay) {
    case 6:
        return QStringLiteral("4");
    case 48:
        return QStringLiteral("3");
    case 96:
        return QStringLiteral("F");
    case 288:
        return QStringLiteral("5");
    case 1440:
        return QStringLiteral("1");
    case 24:
    default:
        return QStringLiteral("H");
    }
}

std::int32_t minutesPerInterval(std::int32_t intervalsInDay)
{
    if (intervalsInDay == 0)
        throw divisionByZero();
    return static_cast<std::int32_t>(roundHalfEven((1.0 / intervalsInDay) * 1440.0));
}

DateTime slotStart(DateTime t, std::int32_t intervalsInDay)
{
    const std::int64_t seconds = floorDiv(wholeMilliseconds(t) + msPerSecond / 2, msPerSecond);
    const std::int64_t day = floorDiv(seconds, secondsPerDay);
    const std::int64_t secondOfDay = seconds - day * secondsPerDay;
    const std::int64_t hour = secondOfDay / 3600;
    const std::int64_t minute = (secondOfDay % 3600) / 60;
    return fromMilliseconds(day * msPerDay +
                            slotStartMinute(intervalsInDay, hour, minute) * msPerMinute);
}

DateTime slotEnd(DateTime start, std::int32_t minutesPerInterval)
{
    return fromMilliseconds(wholeMilliseconds(start) + minutesPerInterval * msPerMinute);
}

} // namespace zarn::slot
