#include "platform/dal/postgresql/PostgresProvider.h"

#include "platform/Error.h"

#include <QByteArray>
#include <QTimeZone>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <libpq-fe.h>
#include <optional>
#include <utility>

namespace zarn::dal {
namespace {

// Identifiers of the server's built-in types (pg_type.oid); they never change.
constexpr Oid boolType = 16;
constexpr Oid int8Type = 20;
constexpr Oid int2Type = 21;
constexpr Oid int4Type = 23;
constexpr Oid float4Type = 700;
constexpr Oid float8Type = 701;
constexpr Oid dateType = 1082;
constexpr Oid timestampType = 1114;
constexpr Oid numericType = 1700;

// Rows per round trip of a streamed statement: few round trips, flat memory.
constexpr int cursorBatchRows = 10000;

struct ResultDeleter
{
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnectionDeleter
{
    void operator()(PGconn *connection) const { PQfinish(connection); }
};
using ConnectionHandle = std::unique_ptr<PGconn, ConnectionDeleter>;

// ---------------------------------------------------------------------------------------------
// The session: one open connection, shared by the provider and every statement prepared on it,
// so that a statement that outlives Close finds the connection gone instead of dangling.

class Session
{
public:
    explicit Session(ConnectionHandle connection) : m_connection(std::move(connection)) {}

    PGconn *connection() const
    {
        if (!m_connection)
            throw DatabaseError(
                QStringLiteral("The connection to the PostgreSQL server is closed."));
        return m_connection.get();
    }
    void close() { m_connection.reset(); }

    // True when a clean-up command may run now: the connection is up and no transaction of the
    // caller's would be aborted by the command's failure, or is already aborted.
    bool canCleanUp() const
    {
        if (!m_connection || PQstatus(m_connection.get()) != CONNECTION_OK)
            return false;
        const PGTransactionStatusType status = PQtransactionStatus(m_connection.get());
        return status == PQTRANS_IDLE || status == PQTRANS_INTRANS;
    }

    // A server-side name (prepared statement, cursor) not yet used on this connection.
    QByteArray newName(const char *prefix) { return prefix + QByteArray::number(++m_lastName); }

    // Runs a command of the simple protocol; throws DatabaseError with the server's text.
    Result run(const QByteArray &sql);
    // Runs a command and ignores its outcome: for clean-up that must not throw.
    void runQuietly(const QByteArray &sql) { Result(PQexec(m_connection.get(), sql.constData())); }

private:
    ConnectionHandle m_connection;
    unsigned long long m_lastName = 0;
};

QString errorText(const PGresult *result, PGconn *connection)
{
    const char *text = result ? PQresultErrorMessage(result) : "";
    if (!*text)
        text = PQerrorMessage(connection);
    return QString::fromUtf8(text).trimmed();
}

// Takes ownership of a result and throws DatabaseError with the server's text unless the
// command succeeded.
Result checked(PGresult *raw, PGconn *connection)
{
    Result result(raw);
    switch (result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
    case PGRES_EMPTY_QUERY:
        return result;
    default:
        throw DatabaseError(errorText(result.get(), connection));
    }
}

Result Session::run(const QByteArray &sql)
{
    PGconn *conn = connection();
    return checked(PQexec(conn, sql.constData()), conn);
}

// ---------------------------------------------------------------------------------------------
// SQL texts: "?" placeholders become $1..$n and [Name] becomes "name", outside string literals,
// quoted identifiers, dollar-quoted bodies and comments.

struct TranslatedSql
{
    QString text;
    int parameterCount = 0;
};

bool isIdentifierChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The end (one past) of a quoted run that starts at `start` with `quote`; a doubled quote stands
// for one, and a backslash escapes the next character where `backslashEscapes` is set.
qsizetype quotedEnd(const QString &sql, qsizetype start, QChar quote, bool backslashEscapes)
{
    qsizetype i = start + 1;
    while (i < sql.size()) {
        if (backslashEscapes && sql[i] == u'\\') {
            i += 2;
        } else if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote)
                i += 2;
            else
                return i + 1;
        } else {
            ++i;
        }
    }
    return sql.size();
}

qsizetype lineCommentEnd(const QString &sql, qsizetype start)
{
    const qsizetype newline = sql.indexOf(u'\n', start);
    return newline < 0 ? sql.size() : newline + 1;
}

// Block comments nest on this server.
qsizetype blockCommentEnd(const QString &sql, qsizetype start)
{
    int depth = 0;
    qsizetype i = start;
    while (i + 1 < sql.size()) {
        if (sql[i] == u'/' && sql[i + 1] == u'*') {
            ++depth;
            i += 2;
        } else if (sql[i] == u'*' && sql[i + 1] == u'/') {
            i += 2;
            if (--depth == 0)
                return i;
        } else {
            ++i;
        }
    }
    return sql.size();
}

// The end of a dollar-quoted body ($$...$$ or $tag$...$tag$) starting at `start`, or -1 when
// the "$" there does not open one (a parameter such as $1, or part of an identifier).
qsizetype dollarQuotedEnd(const QString &sql, qsizetype start)
{
    if (start > 0 && isIdentifierChar(sql[start - 1]))
        return -1;
    qsizetype i = start + 1;
    if (i < sql.size() && sql[i].isDigit())
        return -1;
    while (i < sql.size() && sql[i] != u'$' && (sql[i].isLetterOrNumber() || sql[i] == u'_'))
        ++i;
    if (i >= sql.size() || sql[i] != u'$')
        return -1;
    const QString tag = sql.mid(start, i - start + 1);
    const qsizetype close = sql.indexOf(tag, i + 1);
    return close < 0 ? sql.size() : close + tag.size();
}

QString quotedName(const QString &name)
{
    QString folded = name.toLower();
    folded.replace(u'"', QStringLiteral("\"\""));
    return u'"' + folded + u'"';
}

TranslatedSql translateSql(const QString &sql)
{
    TranslatedSql out;
    out.text.reserve(sql.size() + 16);
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        const QChar next = i + 1 < sql.size() ? sql[i + 1] : QChar();
        qsizetype end = -1;
        if (c == u'\'') {
            const bool escaped = i > 0 && (sql[i - 1] == u'E' || sql[i - 1] == u'e') &&
                                 (i < 2 || !isIdentifierChar(sql[i - 2]));
            end = quotedEnd(sql, i, c, escaped);
        } else if (c == u'"') {
            end = quotedEnd(sql, i, c, false);
        } else if (c == u'-' && next == u'-') {
            end = lineCommentEnd(sql, i);
        } else if (c == u'/' && next == u'*') {
            end = blockCommentEnd(sql, i);
        } else if (c == u'$') {
            end = dollarQuotedEnd(sql, i);
        } else if (c == u'?') {
            out.text += u'$' + QString::number(++out.parameterCount);
            ++i;
            continue;
        } else if (c == u'[') {
            const qsizetype close = sql.indexOf(u']', i + 1);
            if (close > i) {
                out.text += quotedName(sql.mid(i + 1, close - i - 1));
                i = close + 1;
                continue;
            }
        }
        if (end < 0)
            end = i + 1;
        out.text += QStringView(sql).mid(i, end - i);
        i = end;
    }
    return out;
}

// A possibly schema-qualified name ("name" or "schema.name") quoted part by part.
QString quotedQualifiedName(const QString &name)
{
    QStringList parts = name.split(u'.');
    for (QString &part : parts)
        part = quotedName(part.trimmed());
    return parts.join(u'.');
}

// ---------------------------------------------------------------------------------------------
// Values to the server: every parameter goes as text and the server converts it to the type
// that the statement gives the parameter.

QByteArray doubleText(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    char buffer[32];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, value); // round-trips
    return QByteArray(buffer, converted.ptr - buffer);
}

std::optional<QByteArray> parameterText(const Value &value)
{
    switch (value.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null:
        return std::nullopt;
    case Value::Kind::Int16:
    case Value::Kind::Int32:
    case Value::Kind::Int64:
        return value.toText().toLatin1();
    case Value::Kind::Double:
        return doubleText(value.toDouble());
    case Value::Kind::Bool:
        // Read as a boolean by boolean columns and as a number by integer columns.
        return value.toBool() ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    case Value::Kind::Text:
        return value.toText().toUtf8();
    case Value::Kind::DateTime:
        return value.toDateTime().toIsoText().toLatin1();
    }
    return std::nullopt;
}

// The parameter values of one execution in the form the client library takes them.
class ParameterTexts
{
public:
    void add(const Value &value) { m_texts.push_back(parameterText(value)); }

    int count() const { return static_cast<int>(m_texts.size()); }
    // Valid until the next add.
    const char *const *values()
    {
        m_pointers.clear();
        for (const std::optional<QByteArray> &text : m_texts)
            m_pointers.push_back(text ? text->constData() : nullptr);
        return m_pointers.data();
    }

private:
    std::vector<std::optional<QByteArray>> m_texts;
    std::vector<const char *> m_pointers;
};

// ---------------------------------------------------------------------------------------------
// Values from the server, read from their text form by the column's type.

[[noreturn]] void unreadableValue(const char *text, const char *kind)
{
    throw DatabaseError(QStringLiteral("The server sent the %1 value \"%2\", which cannot be read.")
                            .arg(QLatin1String(kind), QString::fromUtf8(text)));
}

long long integerValue(const char *text, int length)
{
    long long value = 0;
    const auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        unreadableValue(text, "integer");
    return value;
}

double doubleValue(const char *text, int length)
{
    double value = 0;
    const auto parsed = std::from_chars(text, text + length, value); // also reads NaN, Infinity
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        unreadableValue(text, "number");
    return value;
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS[.ffffff]" as the ISO date style writes them; the
// fraction is rounded to the millisecond. Plain calendar arithmetic: no time zone is involved.
DateTime dateTimeValue(const char *text)
{
    if (const std::optional<DateTime> value = DateTime::parseIso(QString::fromLatin1(text)))
        return *value;
    unreadableValue(text, "date-time");
}

Value fieldValue(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return Value::null();
    const char *text = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    switch (PQftype(result, column)) {
    case int2Type:
        return Value(static_cast<std::int16_t>(integerValue(text, length)));
    case int4Type:
        return Value(static_cast<std::int32_t>(integerValue(text, length)));
    case int8Type:
        return Value(static_cast<std::int64_t>(integerValue(text, length)));
    case float4Type:
    case float8Type:
    case numericType:
        return Value(doubleValue(text, length));
    case boolType:
        return Value(*text == 't');
    case dateType:
    case timestampType:
        return Value(dateTimeValue(text));
    default:
        return Value(QString::fromUtf8(text, length));
    }
}

// ---------------------------------------------------------------------------------------------
// A statement prepared at protocol level once and deallocated with its owner. The server
// infers each parameter's type from the statement.

class PreparedStatement
{
public:
    PreparedStatement(std::shared_ptr<Session> session, const QString &sql)
        : m_session(std::move(session)), m_name(m_session->newName("zarn_statement_"))
    {
        PGconn *conn = m_session->connection();
        checked(PQprepare(conn, m_name.constData(), sql.toUtf8().constData(), 0, nullptr), conn);
    }
    ~PreparedStatement()
    {
        if (m_session->canCleanUp())
            m_session->runQuietly("DEALLOCATE " + m_name);
    }
    PreparedStatement(const PreparedStatement &) = delete;
    PreparedStatement &operator=(const PreparedStatement &) = delete;

    Result run(ParameterTexts &parameters) const
    {
        PGconn *conn = m_session->connection();
        const int count = parameters.count();
        return checked(PQexecPrepared(conn, m_name.constData(), count, parameters.values(), nullptr,
                                      nullptr, 0),
                       conn);
    }

    // Sends one execution without waiting for its result (pipeline mode); false when it could
    // not be sent.
    bool send(ParameterTexts &parameters) const
    {
        return PQsendQueryPrepared(m_session->connection(), m_name.constData(), parameters.count(),
                                   parameters.values(), nullptr, nullptr, 0) == 1;
    }

private:
    std::shared_ptr<Session> m_session;
    QByteArray m_name;
};

ParameterTexts parameterTexts(const std::vector<Value> &values)
{
    ParameterTexts texts;
    for (const Value &value : values)
        texts.add(value);
    return texts;
}

// Reading the rows of a result that the statement holds.
class ResultRows
{
public:
    void reset(Result result)
    {
        m_result = std::move(result);
        m_row = -1;
    }
    bool next() { return ++m_row < rowCount(); }
    int rowCount() const { return m_result ? PQntuples(m_result.get()) : 0; }
    int columnCount() const { return m_result ? PQnfields(m_result.get()) : 0; }
    QString columnName(int column) const
    {
        checkColumn(column);
        return QString::fromUtf8(PQfname(m_result.get(), column));
    }
    Value columnValue(int column) const
    {
        checkColumn(column);
        if (m_row < 0 || m_row >= rowCount())
            throw DatabaseError(QStringLiteral("There is no current row."));
        return fieldValue(m_result.get(), m_row, column);
    }
    PGresult *result() const { return m_result.get(); }

private:
    void checkColumn(int column) const
    {
        if (column < 0 || column >= columnCount())
            throw DatabaseError(QStringLiteral("There is no column %1.").arg(column));
    }

    Result m_result;
    int m_row = -1;
};

class PostgresStatement : public Statement
{
public:
    PostgresStatement(std::shared_ptr<Session> session, const QString &sql)
        : m_prepared(std::move(session), translateSql(sql).text)
    {}

    void execute(const std::vector<Value> &params) override
    {
        ParameterTexts texts = parameterTexts(params);
        m_rows.reset(m_prepared.run(texts));
    }
    bool fetch() override { return m_rows.next(); }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.columnValue(column); }
    long long rowsAffected() const override
    {
        const char *count = m_rows.result() ? PQcmdTuples(m_rows.result()) : "";
        return *count ? std::atoll(count) : 0;
    }

private:
    PreparedStatement m_prepared;
    ResultRows m_rows;
};

// A statement whose rows come through a server-side cursor, a batch per round trip. The cursor
// lives in the caller's transaction (the read snapshot), and between batches the connection is
// free for other statements.
class PostgresCursor : public Statement
{
public:
    PostgresCursor(const std::shared_ptr<Session> &session, const QString &sql)
        : m_session(session), m_name(session->newName("zarn_cursor_")),
          m_declare(session, QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2")
                                 .arg(QLatin1String(m_name), translateSql(sql).text))
    {}
    ~PostgresCursor() override
    {
        if (m_open && m_session->canCleanUp() && cursorExists())
            m_session->runQuietly("CLOSE " + m_name);
    }

    void execute(const std::vector<Value> &params) override
    {
        if (m_open && cursorExists())
            closeCursor();
        ParameterTexts texts = parameterTexts(params);
        m_declare.run(texts);
        m_open = true;
        fetchBatch();
    }
    bool fetch() override
    {
        if (m_rows.next())
            return true;
        if (!m_open)
            return false;
        fetchBatch();
        return m_rows.next();
    }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.columnValue(column); }
    long long rowsAffected() const override { return 0; }

private:
    void fetchBatch()
    {
        m_rows.reset(m_session->run("FETCH FORWARD " + QByteArray::number(cursorBatchRows) +
                                    " FROM " + m_name));
        if (m_rows.rowCount() < cursorBatchRows)
            closeCursor();
    }
    void closeCursor()
    {
        m_open = false;
        m_session->run("CLOSE " + m_name);
    }
    // The transaction that held the cursor may have ended, and the cursor with it.
    bool cursorExists()
    {
        const QByteArray query = "SELECT 1 FROM pg_cursors WHERE name = '" + m_name + "'";
        const Result result(PQexec(m_session->connection(), query.constData()));
        return PQresultStatus(result.get()) == PGRES_TUPLES_OK && PQntuples(result.get()) == 1;
    }

    std::shared_ptr<Session> m_session;
    QByteArray m_name;
    PreparedStatement m_declare;
    ResultRows m_rows;
    bool m_open = false;
};

// ---------------------------------------------------------------------------------------------
// Stored procedures: functions whose parameters are declared IN and OUT in the listed order.
// The call selects from the function over its inputs; the columns of the row it returns are the
// outputs in order. Building the inputs and assigning the outputs are kept apart from the round
// trip so that a pipelined call can share them.

int inputCount(const std::vector<Parameter> &parameters)
{
    return static_cast<int>(
        std::count_if(parameters.begin(), parameters.end(),
                      [](const Parameter &p) { return p.direction == adParamInput; }));
}

QString procedureCallText(const QString &name, int inputs)
{
    QStringList placeholders;
    for (int i = 1; i <= inputs; ++i)
        placeholders << u'$' + QString::number(i);
    return QStringLiteral("SELECT * FROM %1(%2)")
        .arg(quotedQualifiedName(name), placeholders.join(QStringLiteral(", ")));
}

ParameterTexts procedureInputs(const std::vector<Parameter> &parameters)
{
    ParameterTexts texts;
    for (const Parameter &parameter : parameters) {
        if (parameter.direction == adParamInput)
            texts.add(parameter.value);
    }
    return texts;
}

void assignOutputs(const QString &procedure, const PGresult *result,
                   std::vector<Parameter> &parameters)
{
    const int outputs = static_cast<int>(parameters.size()) - inputCount(parameters);
    if (outputs > 0 && PQnfields(result) < outputs) {
        throw DatabaseError(
            QStringLiteral("The function %1 returns %2 columns for %3 output parameters.")
                .arg(procedure)
                .arg(PQnfields(result))
                .arg(outputs));
    }
    const bool hasRow = PQntuples(result) > 0;
    int column = 0;
    for (Parameter &parameter : parameters) {
        if (parameter.direction == adParamInput)
            continue;
        parameter.value = hasRow ? fieldValue(result, 0, column) : Value::null();
        ++column;
    }
}

class PostgresProcedureCall : public ProcedureCall
{
public:
    PostgresProcedureCall(const std::shared_ptr<Session> &session, const QString &name,
                          const std::vector<Parameter> &parameters)
        : m_session(session), m_name(name), m_inputs(inputCount(parameters)),
          m_prepared(session, procedureCallText(name, m_inputs))
    {}
    ~PostgresProcedureCall() override
    {
        try {
            collect();
            leavePipeline();
        } catch (const std::exception &) {
            // The connection is gone, and the pipeline with it.
        }
    }

    void execute(std::vector<Parameter> &parameters) override
    {
        ParameterTexts inputs = checkedInputs(parameters);
        const Result result = m_prepared.run(inputs);
        assignOutputs(m_name, result.get(), parameters);
    }

    // Queued calls go out at once in the client library's pipeline mode: the server works
    // while more are sent, and no call waits for the one before it.
    void queue(const std::vector<Parameter> &parameters) override
    {
        ParameterTexts inputs = checkedInputs(parameters);
        if (m_failure)
            return; // nothing after a failure runs
        PGconn *conn = m_session->connection();
        if (PQpipelineStatus(conn) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn) != 1) {
            fail(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
            return;
        }
        if (!m_prepared.send(inputs)) {
            fail(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
            return;
        }
        if (++m_unsynced >= segmentSize) {
            synchronise();
            // The server works on the newest segment while the results of the one before it
            // are read.
            while (m_segments.size() > 1)
                readSegment();
        }
    }

    void flush() override
    {
        collect();
        leavePipeline();
        const std::size_t succeeded = std::exchange(m_succeeded, 0);
        const std::optional<QString> failure = std::exchange(m_failure, std::nullopt);
        if (failure)
            throw BatchError(*failure, succeeded);
    }

private:
    // Calls between synchronisation points. At most two segments' results wait unread, few
    // enough to fit the sockets' buffers, so that the server never blocks while the client is
    // still sending.
    static constexpr int segmentSize = 256;

    ParameterTexts checkedInputs(const std::vector<Parameter> &parameters) const
    {
        ParameterTexts inputs = procedureInputs(parameters);
        if (inputs.count() != m_inputs) {
            throw DatabaseError(QStringLiteral("The function %1 was prepared with %2 inputs, "
                                               "not %3.")
                                    .arg(m_name)
                                    .arg(m_inputs)
                                    .arg(inputs.count()));
        }
        return inputs;
    }

    void fail(const QString &text)
    {
        if (!m_failure)
            m_failure = text;
    }

    // Ends the calls sent so far with a synchronisation point and reads all their results.
    void collect()
    {
        synchronise();
        while (!m_segments.empty())
            readSegment();
    }

    // Ends the segment of calls sent since the last synchronisation point and sends it.
    void synchronise()
    {
        if (m_unsynced == 0)
            return;
        PGconn *conn = m_session->connection();
        if (PQpipelineSync(conn) != 1)
            fail(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
        m_segments.push_back(m_unsynced);
        m_unsynced = 0;
    }

    // Reads the results of the oldest segment sent.
    void readSegment()
    {
        PGconn *conn = m_session->connection();
        for (int call = m_segments.front(); call > 0; --call)
            readCallResult(conn);
        readSyncResult(conn);
        m_segments.pop_front();
    }

    // A call gives its result and then a null pointer; a call after a failed one gives an
    // aborted result instead.
    void readCallResult(PGconn *conn)
    {
        bool succeeded = false;
        while (PGresult *raw = PQgetResult(conn)) {
            const Result result(raw);
            switch (PQresultStatus(result.get())) {
            case PGRES_TUPLES_OK:
            case PGRES_COMMAND_OK:
                succeeded = true;
                break;
            case PGRES_PIPELINE_ABORTED:
                fail(QStringLiteral("The call of %1 did not run after an earlier call failed.")
                         .arg(m_name));
                break;
            default:
                fail(errorText(result.get(), conn));
                break;
            }
        }
        if (succeeded && !m_failure)
            ++m_succeeded;
    }

    void readSyncResult(PGconn *conn)
    {
        while (PGresult *raw = PQgetResult(conn)) {
            const Result result(raw);
            if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC)
                return;
        }
    }

    void leavePipeline()
    {
        PGconn *conn = m_session->connection();
        if (PQpipelineStatus(conn) != PQ_PIPELINE_OFF && PQexitPipelineMode(conn) != 1)
            fail(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
    }

    std::shared_ptr<Session> m_session;
    QString m_name;
    int m_inputs;
    PreparedStatement m_prepared;
    int m_unsynced = 0;               // calls sent since the last synchronisation point
    std::deque<int> m_segments;       // calls of each segment whose results are unread
    std::size_t m_succeeded = 0;      // queued calls that succeeded before the first failure
    std::optional<QString> m_failure; // the first failure since the last flush
};

// ---------------------------------------------------------------------------------------------
// Opening a connection.

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

    ConnectionHandle connect() const
    {
        std::vector<const char *> keywords, values;
        for (const auto &[keyword, value] : m_entries) {
            keywords.push_back(keyword);
            values.push_back(value.constData());
        }
        keywords.push_back(nullptr);
        values.push_back(nullptr);
        return ConnectionHandle(PQconnectdbParams(keywords.data(), values.data(), 0));
    }

private:
    std::vector<std::pair<const char *, QByteArray>> m_entries;
};

// Database and role names fold to lower case like every unquoted name on this server.
ConnectParameters connectParameters(const ConnectionOptions &options)
{
    const DataSource source = parseDataSource(options.value(QStringLiteral("Data Source")));
    const QString catalog = options.value(QStringLiteral("Initial Catalog")).trimmed();
    ConnectParameters parameters;
    parameters.add("host", source.host);
    parameters.add("port", source.port);
    parameters.add("dbname", (catalog.isEmpty() ? source.database : catalog).toLower());
    parameters.add("user", options.value(QStringLiteral("User ID")).trimmed().toLower());
    parameters.add("password", options.value(QStringLiteral("Password")));
    parameters.add("application_name", options.value(QStringLiteral("Application Name")));
    parameters.add("connect_timeout", QString::number(std::max(options.connectionTimeout, 0)));
    parameters.add("client_encoding", QStringLiteral("UTF8"));
    return parameters;
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
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    const char *values[] = {zone.constData()};
    Result(PQexecParams(session.connection(), "SELECT set_config('TimeZone', $1, false)", 1,
                        nullptr, values, nullptr, nullptr, 0));
}

void ignoreNotice(void *, const char *) {}

class PostgresProvider : public Provider
{
public:
    void open(const ConnectionOptions &options) override
    {
        close();
        ConnectionHandle connection = connectParameters(options).connect();
        if (!connection)
            throw DatabaseError(QStringLiteral("Out of memory while connecting to the server."));
        if (PQstatus(connection.get()) != CONNECTION_OK)
            throw DatabaseError(QString::fromUtf8(PQerrorMessage(connection.get())).trimmed());
        PQsetNoticeProcessor(connection.get(), ignoreNotice, nullptr);
        auto session = std::make_shared<Session>(std::move(connection));
        session->run(sessionSettings(options.commandTimeout));
        useWorkstationTimeZone(*session);
        m_session = std::move(session);
    }
    void close() override
    {
        if (m_session)
            m_session->close();
        m_session.reset();
    }

    std::unique_ptr<Statement> prepare(const QString &sql) override
    {
        return std::make_unique<PostgresStatement>(session(), sql);
    }
    std::unique_ptr<Statement> prepareCursor(const QString &sql) override
    {
        return std::make_unique<PostgresCursor>(session(), sql);
    }
    std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) override
    {
        return std::make_unique<PostgresProcedureCall>(session(), name, parameters);
    }
    // The simple protocol runs every statement of the text, dollar-quoted bodies included.
    void executeScript(const QString &sql) override { session()->run(sql.toUtf8()); }

    QString quoteIdentifier(const QString &name) const override { return quotedName(name); }

    QStringList primaryKey(const QString &table) override
    {
        PGconn *conn = session()->connection();
        const QByteArray name = quotedQualifiedName(table).toUtf8();
        const char *values[] = {name.constData()};
        const Result result =
            checked(PQexecParams(conn,
                                 "SELECT a.attname FROM pg_index i JOIN pg_attribute a"
                                 " ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey)"
                                 " WHERE i.indrelid = to_regclass($1) AND i.indisprimary"
                                 " ORDER BY array_position(i.indkey::int2[], a.attnum)",
                                 1, nullptr, values, nullptr, nullptr, 0),
                    conn);
        QStringList columns;
        for (int row = 0; row < PQntuples(result.get()); ++row)
            columns << QString::fromUtf8(PQgetvalue(result.get(), row, 0));
        return columns;
    }

    void beginTransaction() override { session()->run("BEGIN"); }
    // A transaction in which a statement failed ends in a rollback even when committed; the
    // server reports that as a success, so it is turned into the failure it is.
    void commit() override
    {
        const Result result = session()->run("COMMIT");
        if (qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0) {
            throw DatabaseError(QStringLiteral(
                "The transaction was rolled back because a statement in it had failed."));
        }
    }
    void rollback() override { session()->run("ROLLBACK"); }
    void beginReadSnapshot() override
    {
        session()->run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }

private:
    const std::shared_ptr<Session> &session() const
    {
        if (!m_session)
            throw DatabaseError(
                QStringLiteral("The connection to the PostgreSQL server is closed."));
        return m_session;
    }

    std::shared_ptr<Session> m_session;
};

} // namespace

std::unique_ptr<Provider> createPostgresProvider()
{
    return std::make_unique<PostgresProvider>();
}

} // namespace zarn::dal
