#pragma once

#include "import/GroupedWriter.h"
#include "platform/DateTime.h"
#include "platform/Value.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace zarn {

// The slots of the daily-data store that the readings are written to: one a minute.
constexpr std::int32_t readingSlotsPerDay = 1440;

// The write of one reading of the variable varId, as the data import sends it to the store: the
// one-minute slot of its time stamp, the time stamp, the value as a number and as text. Raises
// zarn::Error for a reading that cannot be stored.
PendingWrite writeOfReading(std::int32_t varId, const Value &data, const Value &timeDate);

// The time stamp of a reading, or nothing when it has none that converts.
std::optional<DateTime> stampOfReading(const Value &timeDate);

} // namespace zarn
