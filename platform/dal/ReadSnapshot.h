#pragma once

#include "platform/dal/Connection.h"

#include <cstdint>

namespace zarn::dal {

// A read-only transaction in which every statement sees the same snapshot of the database,
// where the server has one. It always ends in a rollback: whatever ran in it, nothing stays.
class ReadSnapshot
{
public:
    explicit ReadSnapshot(Connection &connection);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    Connection &m_connection;
    std::uint64_t m_openSerial; // the opening of the connection that the snapshot belongs to
};

} // namespace zarn::dal
