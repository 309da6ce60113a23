#include "platform/dal/ReadSnapshot.h"

#include <exception>

namespace zarn::dal {

ReadSnapshot::ReadSnapshot(Connection &connection)
    : m_connection(connection), m_openSerial(connection.openSerial())
{
    m_connection.provider().beginReadSnapshot();
}

ReadSnapshot::~ReadSnapshot()
{
    // A connection closed since has ended the snapshot; a reopened one is not ours to touch.
    if (m_connection.openSerial() != m_openSerial)
        return;
    try {
        m_connection.provider().rollback();
    } catch (const std::exception &) {
        // The server has ended the transaction already; nothing of it can stay.
    }
}

} // namespace zarn::dal
