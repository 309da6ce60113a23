#pragma once

#include "import/GroupedWriter.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace zarn {

// One slot of one variable: the variable's position in the plan and the slot's number.
struct SlotKey
{
    std::size_t variable;
    std::int64_t slot;

    friend auto operator<=>(const SlotKey &, const SlotKey &) = default;
};

// The slots of the variables whose readings came back to them after a later slot.
using LateSlots = std::set<SlotKey>;

// What each slot of each variable holds once the data import has written the readings: the last
// reading of the slot in the source's order, since a later write replaces an earlier one. The
// readings are given in the source's order; a slot is handed on as soon as its content is known:
// when its variable's next slot begins, or at the end.
//
// That holds for readings that come in time order per variable, however the variables
// interleave, and then only the slot open per variable is kept. A reading that comes back to an
// earlier slot of its variable (a late one) changes a slot that may have been handed on already.
// The slots known to be late are therefore held to the end instead; a late reading of a slot not
// known as late is noted in late, the slots handed on are then not to be trusted, and the
// readings have to be given again from the first. Memory grows with the variables and the late
// slots, never with the readings.
class SlotExpectations
{
public:
    using Sink = std::function<void(std::size_t variable, const PendingWrite &content)>;

    // sink receives each slot's content; late holds the slots known to be late and gains those
    // found late.
    SlotExpectations(LateSlots &late, Sink sink);

    void add(std::size_t variable, const PendingWrite &write);
    // Hands on every slot not handed on yet: the open ones, then the late ones.
    void finish();
    // Whether a reading came back to a slot that was not known as late.
    bool foundNewLateSlots() const { return m_foundNewLateSlots; }

private:
    void close(std::size_t variable);

    LateSlots &m_late;
    Sink m_sink;
    std::vector<std::optional<PendingWrite>> m_open; // per variable, its latest slot
    std::map<SlotKey, PendingWrite> m_held;          // the late slots, to the end
    bool m_foundNewLateSlots = false;
};

} // namespace zarn
