#pragma once

#include "platform/DateTime.h"

#include <QString>
#include <cstdint>

// The time slots of the facility's daily-data store: a day is cut into IntervalsInDay equal
// slots, and each family of stored procedures serves one slot length.
namespace zarn::slot {

// The one-character code that selects the procedure family: "4", "H", "3", "F", "5" or "1" for
// 6, 24, 48, 96, 288 or 1440 slots a day, "H" for every other number.
QString intervalCode(std::int32_t intervalsInDay);

// 1440 / IntervalsInDay in whole minutes, a half going to the even neighbour (64 slots give 22,
// 2880 give 0). Throws zarn::Error 11 (division by zero) for 0 slots.
std::int32_t minutesPerInterval(std::int32_t intervalsInDay);

// The start of the slot that contains t. t counts to the nearest whole second (a half going
// up, so 23:59:59.5 belongs to the next day); a number of slots outside the table of codes has
// one slot a day, starting at midnight.
DateTime slotStart(DateTime t, std::int32_t intervalsInDay);

// The end of the slot that starts at start.
DateTime slotEnd(DateTime start, std::int32_t minutesPerInterval);

} // namespace zarn::slot
