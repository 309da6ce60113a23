#include "platform/dal/postgresql/PgSession.h"

#include "platform/Error.h"

#include <algorithm>
#include <condition_variable>
#include <libpq-fe.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <utility>
#include <vector>

namespace zarn::dal::pg {

void ResultDeleter::operator()(PGresult *result) const
{
    PQclear(result);
}

void ConnectionDeleter::operator()(PGconn *connection) const
{
    PQfinish(connection);
}

QString errorText(const PGresult *result, PGconn *connection)
{
    const char *text = result ? PQresultErrorMessage(result) : "";
    if (!*text && connection)
        text = PQerrorMessage(connection);
    return QString::fromUtf8(text).trimmed();
}

std::exception_ptr failureOf(const PGresult *result, PGconn *connection)
{
    const QString text = errorText(result, connection);
    const char *field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const QString state = QString::fromLatin1(field ? field : "");
    // Ended by the server (administrator, crash, shutdown) or by the network.
    const bool lost = (connection && PQstatus(connection) == CONNECTION_BAD) ||
                      state.startsWith(QLatin1String("08")) || state == u"57P01" ||
                      state == u"57P02" || state == u"57P03";
    if (lost)
        return std::make_exception_ptr(ConnectionLostError(text, state));
    // The server gave up waiting: the statement time-out, or a lock past the lock time-out.
    if (state == u"57014" || state == u"55P03")
        return std::make_exception_ptr(TimeoutError(text, state));
    return std::make_exception_ptr(DatabaseError(text, state));
}

Result checked(Result result, PGconn *connection)
{
    switch (result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
    case PGRES_EMPTY_QUERY:
        return result;
    default:
        std::rethrow_exception(failureOf(result.get(), connection));
    }
}

namespace {

// How long past the command time-out the client waits before it cancels the command, and how
// long it then waits for the cancelled command's answer before it drops the connection.
constexpr std::chrono::milliseconds answerMargin{1000};
// How long a cancel request may take to be delivered; a server that takes its connection but
// never answers (a stopped postmaster) leaves the request's thread behind.
constexpr std::chrono::milliseconds cancelDelivery{1000};

// Sends the server a cancel request for the connection's command, waiting at most
// cancelDelivery. The client library's request blocks until the server answers it, so it runs
// on a thread of its own.
void cancelCommand(PGconn *connection)
{
    PGcancel *cancel = PQgetCancel(connection);
    if (!cancel)
        return;
    struct State
    {
        std::mutex mutex;
        std::condition_variable delivered;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    std::thread([cancel, state] {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->delivered.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    state->delivered.wait_for(lock, cancelDelivery, [&] { return state->done; });
}

} // namespace

Session::Session(ConnectionHandle connection, int commandTimeoutSeconds)
    : m_connection(std::move(connection)),
      m_limit(std::chrono::seconds(std::max(commandTimeoutSeconds, 0)))
{}

PGconn *Session::connection() const
{
    if (!m_connection)
        throw DatabaseError(QStringLiteral("The connection to the PostgreSQL server is closed."));
    return m_connection.get();
}

bool Session::canCleanUp() const
{
    if (!m_connection || PQstatus(m_connection.get()) != CONNECTION_OK)
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(m_connection.get());
    return status == PQTRANS_IDLE || status == PQTRANS_INTRANS;
}

bool Session::inTransaction() const
{
    return m_connection && PQtransactionStatus(m_connection.get()) == PQTRANS_INTRANS;
}

Session::Clock::time_point Session::deadline() const
{
    return m_limit.count() > 0 ? Clock::now() + m_limit + answerMargin : Clock::time_point::max();
}

void Session::await(short events, Clock::time_point &deadline, bool &cancelled)
{
    for (;;) {
        PGconn *conn = connection();
        pollfd descriptor{PQsocket(conn), events, 0};
        int wait = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        const int ready = poll(&descriptor, 1, wait);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return; // the client library reports what went wrong with the socket
        if (ready < 0 || Clock::now() < deadline)
            continue;
        if (!cancelled) {
            cancelled = true;
            cancelCommand(conn);
            deadline = Clock::now() + answerMargin;
            continue;
        }
        close();
        throw ConnectionLostError(
            QStringLiteral("The PostgreSQL server did not answer within the command time-out of "
                           "%1 s, nor after the command was cancelled; the connection was "
                           "dropped.")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(m_limit).count()));
    }
}

void Session::sent(int sent)
{
    PGconn *conn = connection();
    if (sent != 1)
        std::rethrow_exception(failureOf(nullptr, conn));
    Clock::time_point limit = deadline();
    bool cancelled = false;
    for (;;) {
        const int flushed = PQflush(conn);
        if (flushed == 0)
            return;
        if (flushed < 0)
            std::rethrow_exception(failureOf(nullptr, conn));
        // Reading what the server sends meanwhile keeps it from blocking on its own output.
        await(POLLIN | POLLOUT, limit, cancelled);
        conn = connection();
        if (PQconsumeInput(conn) != 1)
            std::rethrow_exception(failureOf(nullptr, conn));
    }
}

Result Session::nextResult()
{
    PGconn *conn = connection();
    Clock::time_point limit = deadline();
    bool cancelled = false;
    for (;;) {
        const int flushed = PQflush(conn);
        if (flushed < 0)
            std::rethrow_exception(failureOf(nullptr, conn));
        if (flushed == 0 && !PQisBusy(conn))
            break;
        await(flushed == 1 ? POLLIN | POLLOUT : POLLIN, limit, cancelled);
        conn = connection();
        if (PQconsumeInput(conn) != 1)
            std::rethrow_exception(failureOf(nullptr, conn));
    }
    return Result(PQgetResult(conn));
}

Result Session::lastResult()
{
    Result last;
    while (Result next = nextResult()) {
        // A failure stays the answer; what follows it (a copy's end) does not replace it.
        const ExecStatusType status = PQresultStatus(next.get());
        if (last && PQresultStatus(last.get()) == PGRES_FATAL_ERROR)
            continue;
        last = std::move(next);
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH)
            break;
    }
    return checked(std::move(last), m_connection.get());
}

Result Session::run(const QByteArray &sql)
{
    sent(PQsendQuery(connection(), sql.constData()));
    return lastResult();
}

Result Session::run(const char *sql, const std::vector<QByteArray> &parameters)
{
    std::vector<const char *> values;
    for (const QByteArray &parameter : parameters)
        values.push_back(parameter.constData());
    sent(PQsendQueryParams(connection(), sql, static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0));
    return lastResult();
}

void Session::runQuietly(const QByteArray &sql) noexcept
{
    try {
        run(sql);
    } catch (const std::exception &) {
        // Clean-up that did not succeed leaves nothing more to do.
    }
}

} // namespace zarn::dal::pg
