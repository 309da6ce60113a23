#pragma once

#include "platform/DateTime.h"

#include <QString>
#include <optional>

struct sqlite3;

// SQLite keeps a date-time as an ISO text or as a number, which its date functions read as a
// Julian day number. The provider reads both.
namespace zarn::dal::sqlite {

// A date-time, for a Julian day number of the days a date-time can hold (100-01-01 to
// 9999-12-31), to the millisecond as SQLite's date functions round it.
std::optional<DateTime> dateTimeOfJulianDay(double julianDay);

// The condition that a date-time column lies strictly between the parameters ?1 and ?2, which
// are bound as ISO texts: texts compare as texts, numbers as Julian day numbers. A number that
// is no Julian day of a date-time (Unix seconds, say) fails the statement with a message that
// names the column, rather than being passed over.
QString dateTimeBetween(const QString &column);

// Registers on the connection the function that the condition fails with.
void registerDateTimeFunctions(sqlite3 *db);

} // namespace zarn::dal::sqlite
