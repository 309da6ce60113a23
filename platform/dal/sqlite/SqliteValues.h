#pragma once

#include "platform/Value.h"

#include <QString>

struct sqlite3_stmt;

// Values to and from the SQLite library: bound parameters and the columns of a row.
namespace zarn::dal::sqlite {

// Binds the value to the statement's parameter at `position` (from 1); gives the library's
// result code. Date-times go as ISO texts, which compare in their order.
int bindValue(sqlite3_stmt *stmt, int position, const Value &value);

// A column's declared type names a date or a time: its values are date-times.
bool isDateTimeType(const char *declaredType);
QString textOf(sqlite3_stmt *stmt, int column);
// The value of a column of the current row. In a date-time column, an ISO text is a date-time,
// and so is a number, as SQLite's date functions read it: a Julian day number.
Value columnValueOf(sqlite3_stmt *stmt, int column, bool dateTimeColumn);

} // namespace zarn::dal::sqlite
