// The expected content of each slot against the last reading of the slot, for readings of many
// variables in every order: each variable's readings in time order, interleaved at random, and
// with readings that come back to earlier slots.

#include "import/ReadingValue.h"
#include "import/SlotExpectations.h"

#include <QRandomGenerator>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>

using namespace zarn;

namespace {

struct Reading
{
    std::size_t variable;
    PendingWrite write;
};

PendingWrite readingIn(std::int64_t minute, double value)
{
    const DateTime slotStart(static_cast<double>(minute) / readingSlotsPerDay);
    return PendingWrite{slotStart, DateTime(slotStart.days() + 0.1 / readingSlotsPerDay), 1, value,
                        QString::number(value)};
}

// Readings of the variables, each variable's in time order, interleaved at random; then, when
// asked, some moved to later places, so that they come back to slots passed before.
std::vector<Reading> readings(QRandomGenerator &random, bool returning)
{
    const std::size_t variables = 1 + random.bounded(6);
    std::vector<std::vector<Reading>> perVariable(variables);
    double value = 0;
    for (std::size_t v = 0; v < variables; ++v) {
        std::int64_t minute = random.bounded(100);
        for (int i = 0, n = int(random.bounded(40)); i < n; ++i) {
            minute += random.bounded(3); // 0: another reading of the same slot
            perVariable[v].push_back({v, readingIn(minute, ++value)});
        }
    }
    std::vector<Reading> all;
    std::vector<std::size_t> next(variables, 0);
    for (;;) {
        std::vector<std::size_t> open;
        for (std::size_t v = 0; v < variables; ++v)
            if (next[v] < perVariable[v].size())
                open.push_back(v);
        if (open.empty())
            break;
        const std::size_t v = open[random.bounded(quint32(open.size()))];
        all.push_back(perVariable[v][next[v]++]);
    }
    for (int moves = returning ? 1 + int(random.bounded(5)) : 0; moves > 0 && all.size() > 1;
         --moves) {
        const auto from = random.bounded(quint32(all.size() - 1));
        const auto to = from + 1 + random.bounded(quint32(all.size() - from - 1));
        std::rotate(all.begin() + from, all.begin() + from + 1, all.begin() + to + 1);
    }
    return all;
}

using Slots = std::map<SlotKey, double>; // the value of each slot's reading

// What each slot holds after the readings are written in their order.
Slots lastOfEachSlot(const std::vector<Reading> &all)
{
    Slots result;
    for (const Reading &r : all)
        result[{r.variable, slotNumber(r.write.slotStart)}] = r.write.value;
    return result;
}

// One pass over the readings: the slots handed on, and whether the pass can be trusted, as it
// found no late slot that it did not know. A pass that can be trusted hands on each slot once.
bool pass(const std::vector<Reading> &all, LateSlots &late, Slots &handedOn)
{
    handedOn.clear();
    bool handedOnTwice = false;
    SlotExpectations expectations(late, [&](std::size_t variable, const PendingWrite &content) {
        const SlotKey key{variable, slotNumber(content.slotStart)};
        handedOnTwice = handedOnTwice || handedOn.contains(key);
        handedOn[key] = content.value;
    });
    for (const Reading &r : all)
        expectations.add(r.variable, r.write);
    expectations.finish();
    const bool trusted = !expectations.foundNewLateSlots();
    EXPECT_FALSE(trusted && handedOnTwice) << "a slot handed on twice";
    return trusted;
}

TEST(SlotExpectations, EachSlotHoldsItsLastReadingInEveryOrder)
{
    QRandomGenerator random(20240304);
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        const bool returning = round % 2 == 1;
        const std::vector<Reading> all = readings(random, returning);
        LateSlots late;
        Slots handedOn;
        if (!pass(all, late, handedOn)) {
            ASSERT_TRUE(returning) << "readings in time order per variable need one pass";
            ASSERT_TRUE(pass(all, late, handedOn)) << "the late slots are known after one pass";
        }
        if (!returning) {
            EXPECT_TRUE(late.empty());
        }
        EXPECT_EQ(handedOn, lastOfEachSlot(all));
    }
}

} // namespace
