#include "import/GroupedWriter.h"

#include "facility/DataDDInt.h"
#include "platform/dal/Provider.h"

#include <algorithm>

namespace zarn {

namespace {

// Queued writes go to the server in flushes of this many; a group of writes is committed once
// it holds this many or is this old, whichever comes first, so that a failure costs little to
// repair and a crash loses little.
constexpr std::size_t writesPerFlush = 1000;
constexpr std::size_t writesPerCommit = 5000;
constexpr std::chrono::steady_clock::duration commitInterval = std::chrono::seconds(1);

} // namespace

GroupedWriter::GroupedWriter(DataDDInt &store, dal::Connection &connection)
    : m_store(store), m_connection(connection)
{
    m_group.reserve(writesPerCommit);
}

void GroupedWriter::write(PendingWrite write)
{
    if (!m_transaction)
        begin();
    queue(write);
    m_group.push_back(std::move(write));
    if (m_group.size() - m_flushed >= writesPerFlush) {
        flush();
        if (m_group.size() >= writesPerCommit)
            commit();
    }
}

void GroupedWriter::commitIfDue()
{
    if (m_transaction && Clock::now() - m_groupStart >= commitInterval)
        finish();
}

void GroupedWriter::finish()
{
    if (!m_transaction)
        return;
    flush();
    commit();
}

void GroupedWriter::finishQuietly() noexcept
{
    try {
        finish();
    } catch (...) {
        // The reading's own failure is the one reported.
    }
}

void GroupedWriter::begin()
{
    m_transaction.emplace(m_connection);
    m_groupStart = Clock::now();
}

void GroupedWriter::queue(const PendingWrite &w)
{
    m_store.QueueWriteData(w.slotStart, w.stamp, w.varId, w.value, w.text);
}

void GroupedWriter::flush()
{
    try {
        m_store.FlushWrites();
        m_flushed = m_group.size();
    } catch (const dal::BatchError &e) {
        keepOnly(m_flushed + e.succeeded());
        throw;
    }
}

void GroupedWriter::commit()
{
    m_transaction->commit();
    m_transaction.reset();
    m_group.clear();
    m_flushed = 0;
}

void GroupedWriter::keepOnly(std::size_t count)
{
    for (;;) {
        m_transaction.reset();
        begin();
        for (std::size_t i = 0; i < count; ++i)
            queue(m_group[i]);
        try {
            m_store.FlushWrites();
            break;
        } catch (const dal::BatchError &e) {
            if (count == 0)
                throw;
            count = std::min(count - 1, e.succeeded());
        }
    }
    m_flushed = count;
    m_group.resize(count);
    commit();
}

} // namespace zarn
