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

// Writes readings in the order given, queued in transactions of many. When a write fails, the
// group it belongs to is rolled back and the writes before the failing one are sent again and
// committed, so that exactly the readings before the first failure are stored.
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

private:
    using Clock = std::chrono::steady_clock;

    void begin();
    void queue(const PendingWrite &w);
    void flush();
    // Commits the group and begins the next one in the same transaction object.
    void commitAndGoOn();
    void commit();
    // Rolls the group back and stores its first `count` writes again. A write that fails this
    // time shortens the list further, so this ends.
    void keepOnly(std::size_t count);

    DataDDInt &m_store;
    dal::Connection &m_connection;
    std::optional<dal::Transaction> m_transaction;
    std::vector<PendingWrite> m_group; // the writes of the open transaction, in order
    Clock::time_point m_groupStart;
    std::int64_t m_stored = 0;
};

} // namespace zarn
