#include "import/GroupedWriter.h"

#include "facility/DataDDInt.h"
#include "platform/dal/Provider.h"

#include <algorithm>

namespace zarn {

namespace {

// A group of writes is committed once it holds this many or is this old, whichever comes
// first, so that a crash loses little. The writes of a group go to the server as they come;
// nothing waits for the server until the group's commit, which a provider that pipelines sends
// with the group's last writes (DataDDInt::FlushWritesAndCommit).
constexpr std::size_t writesPerCommit = 50000;
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
    if (m_group.size() >= writesPerCommit)
        commitGroup();
}

void GroupedWriter::commitIfDue()
{
    if (m_transaction && Clock::now() - m_groupStart >= commitInterval)
        commitGroup();
}

void GroupedWriter::finish()
{
    if (m_transaction)
        commitGroup();
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

void GroupedWriter::commitGroup()
{
    try {
        m_store.FlushWritesAndCommit(*m_transaction);
    } catch (const dal::BatchError &e) {
        keepOnly(e.succeeded());
        throw;
    } catch (const CommitInDoubtError &) {
        m_inDoubt = static_cast<std::int64_t>(m_group.size());
        dropGroup();
        throw;
    } catch (...) {
        dropGroup();
        throw;
    }
    m_stored += static_cast<std::int64_t>(m_group.size());
    m_group.clear();
    m_transaction.reset();
}

void GroupedWriter::keepOnly(std::size_t count)
{
    try {
        for (;;) {
            m_transaction.reset();
            begin();
            for (std::size_t i = 0; i < count; ++i)
                queue(m_group[i]);
            try {
                m_store.FlushWritesAndCommit(*m_transaction);
                break;
            } catch (const dal::BatchError &e) {
                if (count == 0)
                    throw;
                count = std::min(count - 1, e.succeeded());
            }
        }
    } catch (const CommitInDoubtError &) {
        m_inDoubt = static_cast<std::int64_t>(count);
        dropGroup();
        throw;
    } catch (...) {
        dropGroup();
        throw;
    }
    m_stored += static_cast<std::int64_t>(count);
    dropGroup();
}

void GroupedWriter::dropGroup() noexcept
{
    m_group.clear();
    m_transaction.reset();
}

} // namespace zarn
