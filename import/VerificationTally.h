#pragma once

#include "import/ImportTally.h"
#include "platform/DateTime.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zarn {

// What a verification found: the facility's daily-data store read back, slot by slot, against
// what the data import leaves there for the same choices.

// What one slot of a variable holds: the exact time stamp, the value and its text.
struct SlotContent
{
    DateTime stamp;
    double value = 0;
    QString text;
};

// A slot whose content is not what the import leaves there.
struct SlotDifference
{
    DateTime slot; // its start
    SlotContent expected;
    std::optional<SlotContent> found; // none: the store has no value in the slot
    bool value = false;               // which parts differ; none when nothing was found
    bool text = false;
    bool timeStamp = false;
};

// Slots checked and what was found. A slot that differs in several parts counts under each of
// them, so matching plus missing plus the slots that differ make the slots checked.
struct SlotCounts
{
    std::int64_t checked = 0;
    std::int64_t matching = 0;
    std::int64_t missing = 0;
    std::int64_t differentValue = 0;
    std::int64_t differentText = 0;
    std::int64_t differentTimeStamp = 0;

    SlotCounts &operator+=(const SlotCounts &other);
    // Slots that are missing or differ.
    std::int64_t differing() const { return checked - matching; }
};

// The slots of one variable; its readings are counted in the entry of the same position of
// VerificationTally::readings.perVariable.
struct VariableCheck
{
    SlotCounts counts;
    std::vector<SlotDifference> differences; // the first few, in the order they were found

    // Counts one slot: what the import leaves there against what the store gave back, if
    // anything.
    void count(DateTime slot, const SlotContent &expected, const std::optional<SlotContent> &found);
};

struct VerificationTally
{
    // The differences kept per variable; all of them are counted.
    static constexpr std::size_t differencesKept = 5;

    bool ran = false;
    bool succeeded = false; // every expected slot was read back (whatever it held)
    // The readings between the dates as the import takes them: per variable and passed over,
    // and the reading it would stop at (the slots expected end before it).
    DataTally readings;
    std::vector<VariableCheck> perVariable; // parallel to readings.perVariable

    SlotCounts total() const;
};

} // namespace zarn
