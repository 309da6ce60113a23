#include "import/ReadingValue.h"

#include "facility/SlotArithmetic.h"
#include "platform/Error.h"

namespace zarn {

PendingWrite writeOfReading(std::int32_t varId, const Value &data, const Value &timeDate)
{
    const DateTime stamp = timeDate.toDateTime();
    return PendingWrite{slot::slotStart(stamp, readingSlotsPerDay), stamp, varId, data.toDouble(),
                        data.toText()};
}

std::optional<DateTime> stampOfReading(const Value &timeDate)
{
    try {
        return timeDate.toDateTime();
    } catch (const Error &) {
        return std::nullopt;
    }
}

} // namespace zarn
