#include "platform/dal/Transaction.h"

#include "platform/Error.h"
#include "platform/dal/Command.h"

namespace zarn::dal {

Transaction::Transaction(Connection &connection, Mode mode)
    : m_connection(connection), m_openSerial(connection.openSerial())
{
    Provider &provider = connection.provider();
    if (mode == Mode::ReadSnapshot)
        provider.beginReadSnapshot();
    else
        provider.beginTransaction();
}

Transaction::~Transaction()
{
    if (m_open)
        rollBackQuietly();
}

void Transaction::commit()
{
    end([this] { m_connection.provider().commit(); });
}

void Transaction::commit(Command &queuedCalls)
{
    if (queuedCalls.activeConnection() != &m_connection)
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("The command's calls belong to another connection."));
    end([&] { queuedCalls.flushAndCommit(); });
}

template <typename Commit> void Transaction::end(Commit &&commitWork)
{
    if (!m_open)
        throw DatabaseError(QStringLiteral("The transaction has ended already."));
    m_open = false;
    if (!onItsConnection())
        throw DatabaseError(QStringLiteral("The transaction ended when its connection closed."));
    try {
        commitWork();
    } catch (...) {
        rollBackQuietly();
        throw;
    }
}

// A connection closed since has ended the transaction; a reopened one is not ours to touch.
void Transaction::rollBackQuietly() noexcept
{
    if (!onItsConnection())
        return;
    try {
        m_connection.provider().rollback();
    } catch (const std::exception &) {
        // Nothing more can be done for a transaction that the server has already ended.
    }
}

} // namespace zarn::dal
