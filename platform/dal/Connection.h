#pragma once

#include "platform/dal/Provider.h"
#include "platform/dal/Types.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace zarn::dal {

class Recordset;

// One database connection: configured with a connection string, a cursor location and
// time-outs, then opened and closed by its owner.
class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setCursorLocation(CursorLocationEnum location) { m_cursorLocation = location; }
    CursorLocationEnum cursorLocation() const { return m_cursorLocation; }
    void setConnectionString(const QString &text) { m_connectionString = text; }
    const QString &connectionString() const { return m_connectionString; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
    int commandTimeout() const { return m_commandTimeout; }
    void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }
    int connectionTimeout() const { return m_connectionTimeout; }

    // Opens with the connection string: picks the provider by its Provider keyword and
    // connects. Throws DatabaseError (a malformed string, an unknown provider, a missing file,
    // a refused login, an unreachable server), never naming the password.
    void Open();
    // Closes; does nothing when not open.
    void Close();
    bool isOpen() const { return m_provider != nullptr; }
    // A number that no other opening of any connection shares (0 while closed), so that what
    // was prepared on one opening is never used on the next.
    std::uint64_t openSerial() const { return m_openSerial; }

    // Runs one statement with positional parameters and returns its rows as an open, static,
    // read-only record set (empty for a statement without rows).
    Recordset Execute(const QString &sql, const std::vector<Value> &params = {});

    QString quoteIdentifier(const QString &name) const;

    // The open connection's provider; throws DatabaseError when the connection is closed.
    Provider &provider() const;

private:
    // A provider opened on the connection string; throws DatabaseError.
    std::unique_ptr<Provider> openedProvider() const;

    CursorLocationEnum m_cursorLocation = adUseServer;
    QString m_connectionString;
    int m_commandTimeout = 30;
    int m_connectionTimeout = 15;
    std::unique_ptr<Provider> m_provider;
    std::uint64_t m_openSerial = 0;
};

} // namespace zarn::dal
