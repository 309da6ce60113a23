#include "support/WriteLock.h"

#include "platform/dal/Recordset.h"
#include "support/TestDatabases.h"

namespace zarn::test {

WriteLock::WriteLock(const QString &connectionString, const QStringList &tables)
{
    m_connection.setConnectionString(connectionString);
    m_connection.Open();
    m_transaction = std::make_unique<dal::Transaction>(m_connection);
    if (serverUnderTest() != QStringLiteral("sqlite")) // PostgreSQL, directly or through ODBC
        m_connection.Execute(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE")
                                 .arg(tables.join(QStringLiteral(", "))));
    else
        // A write, even of no row, takes the file's write lock until the transaction ends.
        m_connection.Execute(QStringLiteral("DELETE FROM %1 WHERE 1=0").arg(tables.value(0)));
}

WriteLock::~WriteLock() = default;

void WriteLock::release()
{
    m_transaction.reset();
    m_connection.Close();
}

} // namespace zarn::test
