#pragma once

#include "platform/Error.h"
#include "platform/dal/odbc/OdbcWatchdog.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// The connection and statement handles of the ODBC provider. The driver manager's headers stay
// in the .cpp files; its handle and number types are declared here as they are there
// (OdbcSession.cpp checks that they agree).
namespace zarn::dal::odbc {

using SqlHandle = void *;
using SqlReturn = short;
using SqlLength = std::intptr_t;
using SqlULength = std::uintptr_t;

// Every diagnostic record of a handle, one line each, repeated lines dropped; their SQLSTATEs
// into `states` and the first record's native error into `firstNativeCode` where given.
QString diagnosticsOf(short handleType, SqlHandle handle, QStringList *states = nullptr,
                      std::optional<long long> *firstNativeCode = nullptr);
// The failure that the handle's diagnostics describe, with the first record's SQLSTATE and
// native error: ConnectionLostError where a state says that the connection is gone,
// TimeoutError where one says that the driver or the server gave up waiting, DatabaseError
// otherwise.
std::exception_ptr diagnosedError(short handleType, SqlHandle handle);
// Throws the handle's diagnosed error unless the call succeeded (with or without information) or
// found no data; gives the return code otherwise.
SqlReturn checked(SqlReturn rc, short handleType, SqlHandle handle);
DatabaseError closedConnection();

// A NUL-terminated copy of a text for an argument of a wide-character function, which takes
// UTF-16 as QString holds it.
class WideText
{
public:
    explicit WideText(const QString &text) : m_text(text) {}
    char16_t *get() { return reinterpret_cast<char16_t *>(m_text.data()); }

private:
    QString m_text;
};

class Handle
{
public:
    Handle(short type, short parentType, SqlHandle parent);
    ~Handle();
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    SqlHandle get() const { return m_handle; }
    // The handle went with its parent: a disconnect frees the connection's statements.
    void forget() { m_handle = nullptr; }

private:
    short m_type;
    SqlHandle m_handle = nullptr;
};

// The session: one connection, shared by the provider and every statement prepared on it, so
// that a statement that outlives Close finds the connection gone instead of dangling.
//
// Every driver call that may wait for the server runs watched: with a command time-out set, a
// call that has no answer after the time-out and a margin is cancelled, and when it still has
// none a moment later, the connection is dropped and the call throws ConnectionLostError.
class Session
{
public:
    explicit Session(int commandTimeout);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Connects, waiting at most loginTimeout seconds (0: the driver's own limit); throws
    // DatabaseError with the driver's diagnostics.
    void connect(const QString &connectionString, int loginTimeout);
    // Disconnects; a transaction still open is rolled back first, as a driver refuses to
    // disconnect inside one. The connection's statements are freed with it.
    void close(bool inTransaction);

    bool isConnected() const { return m_connected; }
    SqlHandle connection() const;
    int commandTimeout() const { return m_commandTimeout; }

    SqlReturn check(SqlReturn rc) const;
    void setAttribute(int attribute, SqlULength value);
    SqlULength attribute(int attribute);
    QString textInfo(unsigned short item);
    std::uint32_t numericInfo32(unsigned short item);
    std::uint16_t numericInfo16(unsigned short item);
    // Commits or rolls back; throws the driver's failure.
    void endTransaction(short completion);

    // Runs a driver call (which returns a value, or nothing, and may throw DatabaseError) that
    // may wait for the server, within the command time-out. `statement` is what a cancel
    // applies to, null for a call on the connection. A call that had to be cancelled and
    // failed throws TimeoutError; one that was dropped throws ConnectionLostError, and the
    // session is closed.
    template <typename Call> auto watched(SqlHandle statement, Call &&call) -> decltype(call())
    {
        Watch watch(*this, statement);
        try {
            if constexpr (std::is_void_v<decltype(call())>) {
                call();
                watch.end(nullptr);
            } else {
                auto result = call();
                watch.end(nullptr);
                return result;
            }
        } catch (const DatabaseError &failure) {
            watch.end(&failure);
            throw;
        }
    }

private:
    // The watchdog armed for one call; end() reports what it did, at most once.
    class Watch
    {
    public:
        Watch(Session &session, SqlHandle statement);
        ~Watch();
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;
        // Throws where the watchdog acted: the failure (null after a success) becomes a
        // time-out, or the dropped connection's error.
        void end(const DatabaseError *failure);

    private:
        // Disarms; a connection that was dropped, or whose cancel never came back, is lost.
        Watchdog::Outcome finish();

        Session &m_session;
        bool m_armed;
    };

    // After the watchdog dropped the connection: it is given up without waiting for the server.
    void lose();

    Handle m_environment;
    Handle m_connection;
    int m_commandTimeout;
    bool m_connected = false;
    std::unique_ptr<Watchdog> m_watchdog; // with a command time-out, while connected
};

// A statement of a session, whose every execution may take at most the command time-out.
class StatementHandle
{
public:
    explicit StatementHandle(std::shared_ptr<Session> session);
    ~StatementHandle();
    StatementHandle(const StatementHandle &) = delete;
    StatementHandle &operator=(const StatementHandle &) = delete;

    // The handle, as long as its connection is open.
    SqlHandle get() const;
    SqlReturn check(SqlReturn rc) const;
    const std::shared_ptr<Session> &session() const { return m_session; }

    // A call on this statement that may wait for the server, watched (see Session::watched).
    template <typename Call> auto watched(Call &&call) const -> decltype(call())
    {
        return m_session->watched(m_handle.get(), std::forward<Call>(call));
    }

    void prepare(const QString &sql) const;
    // Executes the prepared statement with the parameters bound; gives SQL_NO_DATA where it
    // touched no row.
    SqlReturn execute() const;
    // Runs a text without preparing it, and reads past its results.
    void executeDirect(const QString &sql) const;
    // Ends the last execution: its rows are dropped and its parameters unbound.
    void reset() const;
    // Drops the rows of the last execution.
    void closeCursor() const;
    // Reads past every further result of the execution, which reports their failures.
    void finishResults() const;

private:
    std::shared_ptr<Session> m_session;
    Handle m_handle;
};

} // namespace zarn::dal::odbc
