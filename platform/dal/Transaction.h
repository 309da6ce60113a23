#pragma once

#include "platform/dal/Connection.h"

#include <cstdint>

namespace zarn::dal {

// A database transaction that rolls back unless committed.
class Transaction
{
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

private:
    Connection &m_connection;
    bool m_open = true;
    std::uint64_t m_openSerial; // the opening of the connection that the transaction belongs to
};

} // namespace zarn::dal
