#pragma once

#include "platform/dal/Connection.h"

#include <cstdint>

namespace zarn::dal {

class Command;

// A database transaction that rolls back unless committed. Read-write, or a read-only snapshot
// in which every statement sees the database as it stood when the snapshot began (where the
// server keeps snapshots); a snapshot is left to end in a rollback.
class Transaction
{
public:
    enum class Mode { ReadWrite, ReadSnapshot };

    explicit Transaction(Connection &connection, Mode mode = Mode::ReadWrite);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Commits. The transaction ends here whether the commit succeeds or not: a commit that
    // failed is never sent again, and what the server may still hold of the transaction is
    // rolled back. Throws DatabaseError, also for a transaction that has ended already.
    void commit();
    // Sends the procedure calls queued on the command (on this transaction's connection) and
    // commits them with the transaction, in one exchange where the provider can. Throws
    // BatchError when one of the calls failed, and then nothing is committed; otherwise as
    // commit().
    void commit(Command &queuedCalls);

private:
    template <typename Commit> void end(Commit &&commitWork);
    void rollBackQuietly() noexcept;
    bool onItsConnection() const { return m_connection.openSerial() == m_openSerial; }

    Connection &m_connection;
    std::uint64_t m_openSerial; // the opening of the connection that the transaction belongs to
    bool m_open = true;
};

} // namespace zarn::dal
