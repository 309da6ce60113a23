#pragma once

#include "platform/DateTime.h"

#include <QStringView>
#include <optional>

// What the readers of ISO texts and of typed dates share; not for use outside platform/.
namespace zarn::datetime_detail {

struct TimeOfDay
{
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// A fraction of a second given as digits after the decimal point, in whole milliseconds.
int fractionToMs(QStringView digits);

// The date-time of a calendar date and a time of day; none when either is out of range.
std::optional<DateTime> combine(int y, int m, int d, const TimeOfDay &t);

} // namespace zarn::datetime_detail
