#include "support/WriteLock.h"

#include "platform/dal/Recordset.h"
#include "support/ServerContext.h"

namespace zarn::test {

WriteLock::WriteLock(const QString &connectionString, const QStringList &tables)
{
    m_connection.setConnectionString(connectionString);
    m_connection.Open();
    m_transaction = std::make_unique<dal::Transaction>(m_connection);
    serverContext().holdAgainstWriters(m_connection, tables);
}

WriteLock::~WriteLock() = default;

void WriteLock::release()
{
    m_transaction.reset();
    m_connection.Close();
}

} // namespace zarn::test
