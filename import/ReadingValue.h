#pragma once

#include "import/GroupedWriter.h"
#include "platform/DateTime.h"
#include "platform/Value.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace zarn {

// What a reading may hold, the same for every server: a value that is a finite number (a number,
// or a text that reads as one, blanks around it allowed), whose text without those blanks has at
// most textValueLength characters, and a time stamp. Null, a text that is no number, NaN and
// ±Infinity (as numbers or as texts) and a longer text are refused: the import stops at such a
// reading, as no server can store it alike.

// The slots of the daily-data store that the readings are written to: one a minute.
constexpr std::int32_t readingSlotsPerDay = 1440;
// The longest text of a value that the store keeps (its textvalue).
constexpr qsizetype textValueLength = 255;

// The write of one reading of the variable varId, as the data import sends it to the store: the
// one-minute slot of its time stamp, the time stamp, the value as a number and as text (the
// reading's text without blanks around it; a number's decimal text). Raises zarn::Error naming
// why a reading cannot be stored.
PendingWrite writeOfReading(std::int32_t varId, const Value &data, const Value &timeDate);

// A one-minute slot as a whole number: its start in minutes since the date-times' day 0.
std::int64_t slotNumber(DateTime slotStart);

// The time stamp of a reading, or nothing when it has none that converts.
std::optional<DateTime> stampOfReading(const Value &timeDate);

} // namespace zarn
