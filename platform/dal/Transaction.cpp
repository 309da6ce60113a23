#include "platform/dal/Transaction.h"

#include "platform/Error.h"

namespace zarn::dal {

Transaction::Transaction(Connection &connection)
    : m_connection(connection), m_openSerial(connection.openSerial())
{
    m_connection.provider().beginTransaction();
}

Transaction::~Transaction()
{
    // A connection closed since has ended the transaction; a reopened one is not ours to touch.
    if (!m_open || m_connection.openSerial() != m_openSerial)
        return;
    try {
        m_connection.provider().rollback();
    } catch (const std::exception &) {
        // Nothing more can be done for a transaction that the server has already ended.
    }
}

void Transaction::commit()
{
    if (m_connection.openSerial() != m_openSerial)
        throw DatabaseError(QStringLiteral("The transaction ended when its connection closed."));
    m_connection.provider().commit();
    m_open = false;
}

} // namespace zarn::dal
