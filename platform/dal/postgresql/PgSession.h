#pragma once

// The connection of the PostgreSQL provider and what every part of it shares. The client
// library's header stays in the provider's .cpp files; its handles are declared here by name.

#include "platform/dal/Provider.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <exception>
#include <memory>

extern "C" {
typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;
typedef unsigned int Oid;
}

namespace zarn::dal::pg {

struct ResultDeleter
{
    void operator()(PGresult *result) const;
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnectionDeleter
{
    void operator()(PGconn *connection) const;
};
using ConnectionHandle = std::unique_ptr<PGconn, ConnectionDeleter>;

// The server's text for a failed result (or the connection's, when there is none).
QString errorText(const PGresult *result, PGconn *connection);
// The failure that a result (or the connection, without one) reports, with the server's text
// and SQLSTATE: ConnectionLostError when the connection is gone, TimeoutError when the server
// gave up waiting, DatabaseError otherwise.
std::exception_ptr failureOf(const PGresult *result, PGconn *connection);
// Throws the result's failure unless the command succeeded.
Result checked(Result result, PGconn *connection);

// One open connection, shared by the provider and every statement prepared on it, so that a
// statement that outlives Close finds the connection gone instead of dangling.
//
// The connection is non-blocking, and every wait for the server is bounded on the client too:
// a command that has no answer after the command time-out and a margin is cancelled, and
// when the cancelled command still has no answer after a second margin, the connection is
// dropped and the wait throws ConnectionLostError. A time-out of 0 waits without a limit (the TCP
// keepalives still notice a dead peer).
class Session
{
public:
    Session(ConnectionHandle connection, int commandTimeoutSeconds);

    PGconn *connection() const;
    void close() { m_connection.reset(); }

    // True when a clean-up command may run now: the connection is up and no transaction of the
    // caller's would be aborted by the command's failure, or is already aborted.
    bool canCleanUp() const;
    // True inside a transaction block that has not failed.
    bool inTransaction() const;

    // Savepoints of batched calls in the open transaction; the provider resets the count when a
    // transaction begins or ends.
    int &batchSavepoints() { return m_batchSavepoints; }

    // A server-side name (prepared statement, cursor) not yet used on this connection.
    QByteArray newName(const char *prefix) { return prefix + QByteArray::number(++m_lastName); }

    // After a PQsend... call that returned `sent`: throws DatabaseError when it was not sent,
    // and pushes what the client library holds to the server, within the time limit.
    void sent(int sent);
    // The next result of the commands sent (nullptr where a command's results end), within the
    // time limit.
    Result nextResult();
    // The results of one command sent, until its end: the last one, checked.
    Result lastResult();

    // Runs a command of the simple protocol; throws DatabaseError with the server's text.
    Result run(const QByteArray &sql);
    // Runs a command with text parameters; throws DatabaseError with the server's text.
    Result run(const char *sql, const std::vector<QByteArray> &parameters);
    // Runs a command and ignores its outcome: for clean-up that must not throw.
    void runQuietly(const QByteArray &sql) noexcept;

private:
    using Clock = std::chrono::steady_clock;

    // Waits until the socket is ready for `events` (poll flags) or the wait has lasted its
    // limit; then cancels, and at the second limit drops the connection and throws.
    void await(short events, Clock::time_point &deadline, bool &cancelled);
    Clock::time_point deadline() const;

    ConnectionHandle m_connection;
    std::chrono::milliseconds m_limit; // 0: none
    unsigned long long m_lastName = 0;
    int m_batchSavepoints = 0;
};

// Runs work that sends a COMMIT: a connection lost before its answer leaves the commit in doubt.
template <typename Work> auto commitInDoubtOnLoss(Work &&work) -> decltype(work())
{
    try {
        return work();
    } catch (const ConnectionLostError &e) {
        throw CommitInDoubtError(e);
    }
}

} // namespace zarn::dal::pg
