#include "import/SlotExpectations.h"

#include "import/ReadingValue.h"

#include <utility>

namespace zarn {

SlotExpectations::SlotExpectations(LateSlots &late, Sink sink)
    : m_late(late), m_sink(std::move(sink))
{}

void SlotExpectations::add(std::size_t variable, const PendingWrite &write)
{
    if (variable >= m_open.size())
        m_open.resize(variable + 1);
    std::optional<PendingWrite> &open = m_open[variable];
    const std::int64_t slot = slotNumber(write.slotStart);
    if (open) {
        const std::int64_t openSlot = slotNumber(open->slotStart);
        if (slot < openSlot) {
            const SlotKey key{variable, slot};
            if (m_late.insert(key).second)
                m_foundNewLateSlots = true;
            m_held.insert_or_assign(key, write);
            return;
        }
        if (slot > openSlot)
            close(variable);
    }
    open = write;
}

void SlotExpectations::finish()
{
    for (std::size_t variable = 0; variable < m_open.size(); ++variable) {
        if (m_open[variable])
            close(variable);
    }
    for (const auto &[key, content] : m_held)
        m_sink(key.variable, content);
    m_held.clear();
}

// A slot that readings may still come back to waits with the late ones.
void SlotExpectations::close(std::size_t variable)
{
    std::optional<PendingWrite> &open = m_open[variable];
    const SlotKey key{variable, slotNumber(open->slotStart)};
    if (m_late.contains(key))
        m_held.insert_or_assign(key, *open);
    else
        m_sink(variable, *open);
    open.reset();
}

} // namespace zarn
