#include "support/ScratchDatabase.h"

namespace zarn::test {

ScratchDatabase::ScratchDatabase() : m_database(serverContext().createDatabase()) {}

ScratchDatabase::~ScratchDatabase() = default;

void ScratchDatabase::open(dal::Connection &connection) const
{
    connection.setConnectionString(connectionString());
    connection.Open();
}

} // namespace zarn::test
