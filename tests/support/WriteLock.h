#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/Transaction.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace zarn::test {

// Another writer's hold on a database of the server under test, for as long as it lives or until
// release(): readers go on, writers wait for it, as the server's context holds them.
class WriteLock
{
public:
    WriteLock(const QString &connectionString, const QStringList &tables);
    ~WriteLock();
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;

    void release();

private:
    dal::Connection m_connection;
    std::unique_ptr<dal::Transaction> m_transaction;
};

} // namespace zarn::test
