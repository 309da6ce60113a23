#include "platform/dal/odbc/OdbcSession.h"

#include "platform/dal/odbc/OdbcSockets.h"

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <type_traits>
#include <utility>
#include <vector>

namespace zarn::dal::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
static_assert(std::is_same_v<SQLHANDLE, SqlHandle>);
static_assert(std::is_same_v<SQLRETURN, SqlReturn>);
static_assert(std::is_same_v<SQLLEN, SqlLength>);
static_assert(std::is_same_v<SQLULEN, SqlULength>);

namespace {

QString fromWide(const SQLWCHAR *text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), length);
}

// The environment, set to the ODBC 3 behaviour before any connection is made in it.
SQLHENV odbc3(const Handle &environment)
{
    checked(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            SQL_HANDLE_ENV, environment.get());
    return environment.get();
}

} // namespace

QString diagnosticsOf(short handleType, SqlHandle handle, QStringList *states,
                      std::optional<long long> *firstNativeCode)
{
    QStringList messages;
    SQLWCHAR state[SQL_SQLSTATE_SIZE + 1];
    std::vector<SQLWCHAR> text(SQL_MAX_MESSAGE_LENGTH);
    for (SQLSMALLINT record = 1;; ++record) {
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(handleType, handle, record, state, &nativeError, text.data(),
                           static_cast<SQLSMALLINT>(text.size()), &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (length >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(length) + 1);
            --record; // the same record again, whole
            continue;
        }
        if (states)
            *states << fromWide(state, SQL_SQLSTATE_SIZE);
        if (firstNativeCode && !*firstNativeCode)
            *firstNativeCode = nativeError;
        const QString message = fromWide(text.data(), length).trimmed();
        if (!message.isEmpty() && !messages.contains(message))
            messages << message;
    }
    if (messages.isEmpty())
        return QStringLiteral("The ODBC driver reported a failure without a message.");
    return messages.join(u'\n');
}

std::exception_ptr diagnosedError(short handleType, SqlHandle handle)
{
    // The states of giving up waiting: ODBC's own time-outs, and the server's statement time-out
    // or cancel (57014) and lock time-out (55P03), which psqlODBC passes on as the server's
    // states (a statement past SQL_ATTR_QUERY_TIMEOUT gives 57014 there as well).
    static const QStringList timeoutStates = {QStringLiteral("HYT00"), QStringLiteral("HYT01"),
                                              QStringLiteral("57014"), QStringLiteral("55P03")};
    // The states of a connection that is gone: ODBC's communication link failures, and the
    // server's own for a connection that it ended.
    static const QStringList lostStates = {QStringLiteral("08S01"), QStringLiteral("08003"),
                                           QStringLiteral("08007"), QStringLiteral("57P01"),
                                           QStringLiteral("57P02"), QStringLiteral("57P03")};
    QStringList states;
    std::optional<long long> nativeCode;
    QString text = diagnosticsOf(handleType, handle, &states, &nativeCode);
    // The program's SQL writes some tables in two cases, which a server that compares table
    // names by case cannot find; the server's own text names the table.
    if (states.contains(QStringLiteral("42S02")))
        text += QStringLiteral(" (where the table exists with its name in another case: a ZARN "
                               "or Vantrel server must compare table names without regard to "
                               "case, on MariaDB and MySQL lower_case_table_names=1)");
    const auto any = [&](const QStringList &of) {
        return std::any_of(states.begin(), states.end(),
                           [&](const QString &state) { return of.contains(state); });
    };
    const QString state = states.value(0);
    if (any(lostStates))
        return std::make_exception_ptr(ConnectionLostError(text, state, nativeCode));
    if (any(timeoutStates))
        return std::make_exception_ptr(TimeoutError(text, state, nativeCode));
    return std::make_exception_ptr(DatabaseError(text, state, nativeCode));
}

SqlReturn checked(SqlReturn rc, short handleType, SqlHandle handle)
{
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return rc;
    std::rethrow_exception(diagnosedError(handleType, handle));
}

DatabaseError closedConnection()
{
    return DatabaseError(QStringLiteral("The connection to the ODBC data source is closed."));
}

// ---------------------------------------------------------------------------------------------
// Handles

Handle::Handle(short type, short parentType, SqlHandle parent) : m_type(type)
{
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &m_handle))) {
        m_handle = SQL_NULL_HANDLE;
        throw DatabaseError(parent == SQL_NULL_HANDLE
                                ? QStringLiteral("The ODBC driver manager cannot be started.")
                                : diagnosticsOf(parentType, parent));
    }
}

Handle::~Handle()
{
    if (m_handle != SQL_NULL_HANDLE)
        SQLFreeHandle(m_type, m_handle);
}

// ---------------------------------------------------------------------------------------------
// The session

namespace {

// How long past the command time-out a call may go before the watchdog cancels it.
constexpr std::chrono::milliseconds answerMargin{1000};

// Connects through this provider take turns: the driver's sockets are those that appear during
// its connect, which another connect at the same time would mix up.
std::mutex connecting;

} // namespace

Session::Session(int commandTimeout)
    : m_environment(SQL_HANDLE_ENV, SQL_HANDLE_ENV, SQL_NULL_HANDLE),
      m_connection(SQL_HANDLE_DBC, SQL_HANDLE_ENV, odbc3(m_environment)),
      m_commandTimeout(std::max(commandTimeout, 0))
{}

Session::~Session()
{
    close(true);
}

void Session::connect(const QString &connectionString, int loginTimeout)
{
    setAttribute(SQL_ATTR_LOGIN_TIMEOUT, static_cast<SQLULEN>(std::max(loginTimeout, 0)));
    WideText text(connectionString);
    const std::lock_guard turn(connecting);
    const std::vector<OpenSocket> before = connectedStreamSockets();
    std::optional<ConnectWatchdog> watch;
    if (loginTimeout > 0)
        watch.emplace(std::chrono::seconds(loginTimeout) + answerMargin, before);
    const SQLRETURN rc =
        SQLDriverConnectW(m_connection.get(), nullptr, reinterpret_cast<SQLWCHAR *>(text.get()),
                          SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (watch && watch->finish()) {
        if (SQL_SUCCEEDED(rc))
            SQLDisconnect(m_connection.get());
        throw DatabaseError(QStringLiteral("The ODBC data source did not answer within the "
                                           "connection time-out of %1 s.")
                                .arg(loginTimeout));
    }
    check(rc);
    m_connected = true;
    // The driver's own keepalive settings stay as the data source has them: they are not
    // attributes that every driver takes, and setting them here would override the operator's.
    // The watchdog bounds every call anyway.
    if (m_commandTimeout > 0) {
        m_watchdog =
            std::make_unique<Watchdog>(std::chrono::seconds(m_commandTimeout) + answerMargin,
                                       DriverSockets(before, connectedStreamSockets()));
    }
}

void Session::close(bool inTransaction)
{
    if (!m_connected)
        return;
    // A connection outside a transaction has nothing to roll back, and asks its server nothing:
    // one whose server stopped answering closes at once.
    try {
        if (inTransaction)
            watched(nullptr,
                    [&] { return SQLEndTran(SQL_HANDLE_DBC, m_connection.get(), SQL_ROLLBACK); });
    } catch (const DatabaseError &) {
        // the connection was lost on the way
    }
    if (m_connected) {
        m_connected = false;
        SQLDisconnect(m_connection.get());
    }
    m_watchdog.reset();
}

void Session::lose()
{
    m_connected = false;
    m_watchdog->dropConnection();
    if (m_watchdog->cancelOutstanding()) {
        // The driver may still be inside the cancel with these handles: they are left to it.
        m_connection.forget();
        m_environment.forget();
    } else {
        SQLDisconnect(m_connection.get()); // at once: the sockets are shut down
    }
    m_watchdog.reset();
}

Session::Watch::Watch(Session &session, SqlHandle statement)
    : m_session(session), m_armed(session.m_watchdog != nullptr)
{
    if (m_armed)
        session.m_watchdog->arm(statement);
}

Session::Watch::~Watch()
{
    if (m_armed)
        finish();
}

Watchdog::Outcome Session::Watch::finish()
{
    m_armed = false;
    const Watchdog::Outcome outcome = m_session.m_watchdog->disarm();
    if (outcome == Watchdog::Outcome::Dropped || m_session.m_watchdog->cancelOutstanding()) {
        m_session.lose();
        return Watchdog::Outcome::Dropped;
    }
    return outcome;
}

void Session::Watch::end(const DatabaseError *failure)
{
    if (!m_armed)
        return;
    const int seconds = m_session.m_commandTimeout;
    const Watchdog::Outcome outcome = finish();
    if (outcome == Watchdog::Outcome::Dropped) {
        throw ConnectionLostError(QStringLiteral("The ODBC data source did not answer within the "
                                                 "command time-out of %1 s; the connection was "
                                                 "dropped.")
                                      .arg(seconds));
    }
    if (outcome == Watchdog::Outcome::Cancelled && failure) {
        throw TimeoutError(
            QStringLiteral("The ODBC data source did not answer within the "
                           "command time-out of %1 s; the command was cancelled.\n%2")
                .arg(seconds)
                .arg(failure->description()));
    }
}

SqlHandle Session::connection() const
{
    if (!m_connected)
        throw closedConnection();
    return m_connection.get();
}

SqlReturn Session::check(SqlReturn rc) const
{
    return checked(rc, SQL_HANDLE_DBC, m_connection.get());
}

// Setting an attribute may take the driver to the server (an isolation level, an access mode).
void Session::setAttribute(int attribute, SqlULength value)
{
    watched(nullptr, [&] {
        return check(SQLSetConnectAttr(m_connection.get(), attribute,
                                       reinterpret_cast<SQLPOINTER>(value), 0));
    });
}

SqlULength Session::attribute(int attribute)
{
    SQLULEN value = 0;
    watched(nullptr, [&] {
        return check(SQLGetConnectAttr(connection(), attribute, &value, sizeof value, nullptr));
    });
    return value;
}

QString Session::textInfo(unsigned short item)
{
    SQLWCHAR text[64] = {};
    SQLSMALLINT length = 0;
    watched(nullptr,
            [&] { return check(SQLGetInfoW(connection(), item, text, sizeof text, &length)); });
    return fromWide(text, std::min<qsizetype>(length / 2, std::size(text) - 1));
}

std::uint32_t Session::numericInfo32(unsigned short item)
{
    SQLUINTEGER value = 0;
    watched(nullptr,
            [&] { return check(SQLGetInfoW(connection(), item, &value, sizeof value, nullptr)); });
    return value;
}

std::uint16_t Session::numericInfo16(unsigned short item)
{
    SQLUSMALLINT value = 0;
    watched(nullptr,
            [&] { return check(SQLGetInfoW(connection(), item, &value, sizeof value, nullptr)); });
    return value;
}

void Session::endTransaction(short completion)
{
    watched(nullptr, [&] { return check(SQLEndTran(SQL_HANDLE_DBC, connection(), completion)); });
}

// ---------------------------------------------------------------------------------------------
// Statements

StatementHandle::StatementHandle(std::shared_ptr<Session> session)
    : m_session(std::move(session)),
      m_handle(SQL_HANDLE_STMT, SQL_HANDLE_DBC, m_session->connection())
{
    check(SQLSetStmtAttr(
        m_handle.get(), SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_session->commandTimeout())), 0));
}

// Freeing may close a cursor that the server holds. It is not cancelled past the time-out, as
// the handle is going, but dropped at once.
StatementHandle::~StatementHandle()
{
    if (m_session->isConnected()) {
        try {
            m_session->watched(nullptr,
                               [&] { return SQLFreeHandle(SQL_HANDLE_STMT, m_handle.get()); });
        } catch (const DatabaseError &) {
            // the connection was lost with it
        }
    }
    m_handle.forget(); // freed above, or with the connection
}

SqlHandle StatementHandle::get() const
{
    if (!m_session->isConnected())
        throw closedConnection();
    return m_handle.get();
}

SqlReturn StatementHandle::check(SqlReturn rc) const
{
    return checked(rc, SQL_HANDLE_STMT, m_handle.get());
}

// Preparing may take the driver to the server, as may closing a cursor held there.
void StatementHandle::prepare(const QString &sql) const
{
    WideText text(sql);
    watched([&] {
        return check(SQLPrepareW(get(), reinterpret_cast<SQLWCHAR *>(text.get()), SQL_NTS));
    });
}

SqlReturn StatementHandle::execute() const
{
    return watched([&] { return check(SQLExecute(get())); });
}

void StatementHandle::executeDirect(const QString &sql) const
{
    WideText text(sql);
    watched([&] {
        return check(SQLExecDirectW(get(), reinterpret_cast<SQLWCHAR *>(text.get()), SQL_NTS));
    });
    finishResults();
}

void StatementHandle::reset() const
{
    closeCursor();
    SQLFreeStmt(get(), SQL_RESET_PARAMS);
}

void StatementHandle::closeCursor() const
{
    watched([&] { return SQLFreeStmt(get(), SQL_CLOSE); });
}

void StatementHandle::finishResults() const
{
    while (watched([&] { return check(SQLMoreResults(get())); }) != SQL_NO_DATA) {
    }
}

} // namespace zarn::dal::odbc
