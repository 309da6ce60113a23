#pragma once

#include "platform/DateTime.h"
#include "platform/dal/Transaction.h"

#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zarn {

class DataDDInt;

namespace dal {
class Connection;
}

// One reading on its way into the daily-data store.
struct PendingWrite
{
    DateTime slotStart;
    DateTime stamp;
    std::int32_t varId;
    double value;
    QString text;
};

// Writes readings in the order given, queued in transactions of many: a group's transaction
// begins with its first write and ends with its commit, and its writes count as stored when,
// and only when, that commit succeeded. When a write fails, the group it belongs to is rolled
// back and the writes before the failing one are sent again and committed, so that exactly the
// readings before the first failure are stored. A commit or a begin that fails ends the
// writes: what the commits before it stored stays counted, and nothing is sent again. A commit
// whose answer never came leaves its group in doubt: not counted, and said so.
class GroupedWriter
{
public:
    GroupedWriter(DataDDInt &store, dal::Connection &connection);
    GroupedWriter(const GroupedWriter &) = delete;
    GroupedWriter &operator=(const GroupedWriter &) = delete;

    void write(PendingWrite write);
    // Stores the open group once it is old enough, however few writes it holds.
    void commitIfDue();
    // Stores every write queued so far.
    void finish();
    // After a reading failed: stores the writes before it, as far as they can be stored.
    void finishQuietly() noexcept;
    // How many of the writes given so far are committed; after a failure, the first write not
    // stored is the one at this index.
    std::int64_t stored() const { return m_stored; }
    // How many writes, from the first one not counted as stored on, the commit that ended the
    // writes may or may not have stored; 0 unless its answer never came.
    std::int64_t inDoubt() const { return m_inDoubt; }

private:
    using Clock = std::chrono::steady_clock;

    void begin();
    void queue(const PendingWrite &w);
    // Sends the group's writes and commits them with its transaction, which ends there.
    void commitGroup();
    // After a write of the group failed: stores its first `count` writes in a transaction of
    // their own. A write that fails this time shortens the list further, so this ends.
    void keepOnly(std::size_t count);
    // The group is not stored, and its transaction is over.
    void dropGroup() noexcept;

    DataDDInt &m_store;
    dal::Connection &m_connection;
    std::optional<dal::Transaction> m_transaction; // the open group's
    std::vector<PendingWrite> m_group;             // its writes, in order
    Clock::time_point m_groupStart;
    std::int64_t m_stored = 0;
    std::int64_t m_inDoubt = 0;
};

} // namespace zarn
