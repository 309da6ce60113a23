#include "import/VerificationTally.h"

#include <cmath>

namespace zarn {

namespace {

constexpr double millisecondsPerDay = 86'400'000.0;

std::int64_t wholeMilliseconds(DateTime t)
{
    return std::llround(t.days() * millisecondsPerDay);
}

} // namespace

SlotCounts &SlotCounts::operator+=(const SlotCounts &other)
{
    checked += other.checked;
    matching += other.matching;
    missing += other.missing;
    differentValue += other.differentValue;
    differentText += other.differentText;
    differentTimeStamp += other.differentTimeStamp;
    return *this;
}

void VariableCheck::count(DateTime slot, const SlotContent &expected,
                          const std::optional<SlotContent> &found)
{
    ++counts.checked;
    SlotDifference difference{slot, expected, found};
    if (found) {
        // The value as the store gives it back, exactly; the time stamp to the millisecond,
        // the finest that every store keeps.
        difference.value = found->value != expected.value;
        difference.text = found->text != expected.text;
        difference.timeStamp = wholeMilliseconds(found->stamp) != wholeMilliseconds(expected.stamp);
        if (!difference.value && !difference.text && !difference.timeStamp) {
            ++counts.matching;
            return;
        }
        counts.differentValue += difference.value;
        counts.differentText += difference.text;
        counts.differentTimeStamp += difference.timeStamp;
    } else {
        ++counts.missing;
    }
    if (differences.size() < VerificationTally::differencesKept)
        differences.push_back(std::move(difference));
}

SlotCounts VerificationTally::total() const
{
    SlotCounts sum;
    for (const VariableCheck &check : perVariable)
        sum += check.counts;
    return sum;
}

} // namespace zarn
