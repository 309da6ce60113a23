#include "platform/dal/postgresql/PgConnect.h"

#include "platform/Error.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <libpq-fe.h>
#include <poll.h>
#include <utility>
#include <vector>

namespace zarn::dal::pg {

namespace {

struct DataSource
{
    QString host, port, database;
};

// "host", "host:port", "[ipv6]:port", each optionally followed by "/database".
DataSource parseDataSource(const QString &text)
{
    DataSource source;
    QString rest = text.trimmed();
    const qsizetype slash = rest.indexOf(u'/');
    if (slash >= 0) {
        source.database = rest.mid(slash + 1).trimmed();
        rest = rest.left(slash).trimmed();
    }
    qsizetype portColon = -1;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close > 0 && rest.mid(close + 1).startsWith(u':'))
            portColon = close + 1;
        source.host = rest.mid(1, close > 0 ? close - 1 : -1);
        if (portColon >= 0)
            source.port = rest.mid(portColon + 1).trimmed();
        return source;
    }
    if (rest.count(u':') == 1)
        portColon = rest.indexOf(u':');
    source.host = portColon >= 0 ? rest.left(portColon).trimmed() : rest;
    if (portColon >= 0)
        source.port = rest.mid(portColon + 1).trimmed();
    return source;
}

// The keywords and values handed to the client library; nothing is spliced into one text, so
// no value can smuggle in another keyword.
class ConnectParameters
{
public:
    void add(const char *keyword, const QString &value)
    {
        if (!value.isEmpty())
            m_entries.emplace_back(keyword, value.toUtf8());
    }

    // Starts connecting; the caller completes it.
    ConnectionHandle start() const
    {
        std::vector<const char *> keywords, values;
        for (const auto &[keyword, value] : m_entries) {
            keywords.push_back(keyword);
            values.push_back(value.constData());
        }
        keywords.push_back(nullptr);
        values.push_back(nullptr);
        return ConnectionHandle(PQconnectStartParams(keywords.data(), values.data(), 0));
    }

private:
    std::vector<std::pair<const char *, QByteArray>> m_entries;
};

// The outcome of one attempt: the connection, or the failure's text and SQLSTATE.
struct Attempt
{
    ConnectionHandle connection;
    QString failure;
    QString sqlState;
};

// The server's message with its SQLSTATE and source location taken out again: the verbose
// form is asked for only to learn the SQLSTATE.
Attempt failedAttempt(PGconn *connection)
{
    static const QRegularExpression stateField(
        QStringLiteral("((?:FATAL|ERROR|PANIC):  )([0-9A-Z]{5}): "));
    static const QRegularExpression locationLine(QStringLiteral("\\n?LOCATION:[^\\n]*"));
    Attempt attempt;
    QString text = connection ? QString::fromUtf8(PQerrorMessage(connection))
                              : QStringLiteral("Out of memory while connecting to the server.");
    QString lastState;
    for (QRegularExpressionMatchIterator it = stateField.globalMatch(text); it.hasNext();)
        lastState = it.next().captured(2);
    attempt.sqlState = lastState;
    text.replace(stateField, QStringLiteral("\\1"));
    text.remove(locationLine);
    attempt.failure = text.trimmed();
    return attempt;
}

// One connection attempt, bounded by the connection time-out as a whole.
Attempt connectOnce(const ConnectParameters &parameters, int timeoutSeconds)
{
    ConnectionHandle connection = parameters.start();
    if (!connection || PQstatus(connection.get()) == CONNECTION_BAD)
        return failedAttempt(connection.get());
    PQsetErrorVerbosity(connection.get(), PQERRORS_VERBOSE);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = timeoutSeconds > 0
                                           ? Clock::now() + std::chrono::seconds(timeoutSeconds)
                                           : Clock::time_point::max();
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    while (status != PGRES_POLLING_OK) {
        if (status == PGRES_POLLING_FAILED)
            return failedAttempt(connection.get());
        pollfd descriptor{PQsocket(connection.get()),
                          static_cast<short>(status == PGRES_POLLING_READING ? POLLIN : POLLOUT),
                          0};
        int wait = -1;
        if (deadline != Clock::time_point::max())
            wait = static_cast<int>(std::max<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count(),
                0));
        const int ready = poll(&descriptor, 1, wait);
        if (ready == 0) {
            Attempt attempt;
            attempt.failure = QStringLiteral("The PostgreSQL server did not accept the "
                                             "connection within %1 s.")
                                  .arg(timeoutSeconds);
            return attempt;
        }
        if (ready < 0 && errno == EINTR)
            continue;
        status = PQconnectPoll(connection.get());
    }
    PQsetErrorVerbosity(connection.get(), PQERRORS_DEFAULT);
    Attempt attempt;
    attempt.connection = std::move(connection);
    return attempt;
}

ConnectParameters connectParameters(const ConnectionOptions &options, const DataSource &source,
                                    const QString &database, const QString &user)
{
    // Keepalives and the TCP user time-out notice a peer that has gone away while the client
    // waits; the command time-out (on the client) notices one that is there but silent.
    const int userTimeoutMs =
        std::clamp(std::max(options.commandTimeout, 10) * 1000 + 5000, 15000, 600000);
    ConnectParameters parameters;
    parameters.add("host", source.host);
    parameters.add("port", source.port);
    parameters.add("dbname", database);
    parameters.add("user", user);
    parameters.add("password", options.value(QStringLiteral("Password")));
    parameters.add("application_name", options.value(QStringLiteral("Application Name")));
    parameters.add("client_encoding", QStringLiteral("UTF8"));
    parameters.add("keepalives", QStringLiteral("1"));
    parameters.add("keepalives_idle", QStringLiteral("10"));
    parameters.add("keepalives_interval", QStringLiteral("5"));
    parameters.add("keepalives_count", QStringLiteral("3"));
    parameters.add("tcp_user_timeout", QString::number(userTimeoutMs));
    return parameters;
}

QString quotedList(const QString &first, const QString &second)
{
    return QStringLiteral("\"%1\" and \"%2\"").arg(first, second);
}

// Fixed after connecting, where neither the server's configuration nor the client's
// environment can change them: ISO date-times, doubles written so that they read back
// exactly, string literals as the query translation reads them, and the command time-out.
QByteArray sessionSettings(int commandTimeoutSeconds)
{
    const long long timeoutMs = std::clamp(commandTimeoutSeconds * 1000LL, 0LL, 2147483647LL);
    return "SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'; SET extra_float_digits = 3; "
           "SET standard_conforming_strings = on; "
           "SET statement_timeout = " +
           QByteArray::number(timeoutMs);
}

// Naive time stamps never shift in any zone. The session's zone only decides what the server's
// own clock reads (localtimestamp in the stored procedures' audit columns): the workstation's
// wall-clock time, like every other local time of the program. A zone the server does not
// know leaves UTC.
void useWorkstationTimeZone(Session &session)
{
    try {
        session.run("SELECT set_config('TimeZone', $1, false)", {QTimeZone::systemTimeZoneId()});
    } catch (const DatabaseError &) {
        // An unknown zone leaves UTC.
    }
}

void ignoreNotice(void *, const char *) {}

} // namespace

// Database and role names are tried as written first: createdb and createuser keep a name's
// case. Where the server answers that there is no such database (3D000) or that the role
// cannot log on (28000, and 28P01, which is all a server asking for a password says about a
// missing role), the lower-case name, as an unquoted CREATE makes it, is tried once.
std::shared_ptr<Session> openSession(const ConnectionOptions &options)
{
    const DataSource source = parseDataSource(options.value(QStringLiteral("Data Source")));
    const QString catalog = options.value(QStringLiteral("Initial Catalog")).trimmed();
    const QString writtenUser = options.value(QStringLiteral("User ID")).trimmed();
    // Without a database the server's default is the role's own name.
    const QString writtenDatabase = catalog.isEmpty() ? source.database : catalog;
    QString database = writtenDatabase;
    QString user = writtenUser;
    bool databaseLowered = false, userLowered = false;
    for (;;) {
        Attempt attempt = connectOnce(connectParameters(options, source, database, user),
                                      std::max(options.connectionTimeout, 0));
        if (attempt.connection) {
            PGconn *conn = attempt.connection.get();
            PQsetNoticeProcessor(conn, ignoreNotice, nullptr);
            if (PQsetnonblocking(conn, 1) != 0)
                throw DatabaseError(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
            auto session =
                std::make_shared<Session>(std::move(attempt.connection), options.commandTimeout);
            session->run(sessionSettings(options.commandTimeout));
            useWorkstationTimeZone(*session);
            return session;
        }
        const QString effectiveDatabase = database.isEmpty() ? user : database;
        if (attempt.sqlState == QLatin1String("3D000") && !databaseLowered &&
            effectiveDatabase != effectiveDatabase.toLower()) {
            databaseLowered = true;
            database = effectiveDatabase.toLower();
            continue;
        }
        if ((attempt.sqlState == QLatin1String("28000") ||
             attempt.sqlState == QLatin1String("28P01")) &&
            !userLowered && user != user.toLower()) {
            userLowered = true;
            user = user.toLower();
            continue;
        }
        QStringList tried;
        if (databaseLowered) {
            const QString first = writtenDatabase.isEmpty() ? writtenUser : writtenDatabase;
            tried << QStringLiteral("the database names %1").arg(quotedList(first, database));
        }
        if (userLowered)
            tried << QStringLiteral("the role names %1").arg(quotedList(writtenUser, user));
        if (!tried.isEmpty())
            attempt.failure += QStringLiteral(" (tried %1)").arg(tried.join(QStringLiteral(", ")));
        throw DatabaseError(attempt.failure, attempt.sqlState);
    }
}

} // namespace zarn::dal::pg
