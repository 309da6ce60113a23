#include "platform/dal/odbc/OdbcProvider.h"

#include "platform/Error.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <utility>
#include <vector>

namespace zarn::dal {
namespace {

// The wide-character functions of the driver manager take UTF-16, as QString holds it.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));

// A NUL-terminated copy of a text for an argument of a wide-character function.
class WideText
{
public:
    explicit WideText(const QString &text) : m_text(text) {}
    SQLWCHAR *get() { return reinterpret_cast<SQLWCHAR *>(m_text.data()); }

private:
    QString m_text;
};

QString fromWide(const SQLWCHAR *text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), length);
}

// ---------------------------------------------------------------------------------------------
// Handles and the driver's diagnostics.

// Every diagnostic record of a handle, one line each, repeated lines dropped.
QString diagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle)
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
        const QString message = fromWide(text.data(), length).trimmed();
        if (!message.isEmpty() && !messages.contains(message))
            messages << message;
    }
    if (messages.isEmpty())
        return QStringLiteral("The ODBC driver reported a failure without a message.");
    return messages.join(u'\n');
}

// Throws DatabaseError with the handle's diagnostics unless the call succeeded (with or without
// information) or found no data; gives the return code otherwise.
SQLRETURN checked(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return rc;
    throw DatabaseError(diagnosticsOf(handleType, handle));
}

class Handle
{
public:
    Handle(SQLSMALLINT type, SQLSMALLINT parentType, SQLHANDLE parent) : m_type(type)
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &m_handle))) {
            m_handle = SQL_NULL_HANDLE;
            throw DatabaseError(parent == SQL_NULL_HANDLE
                                    ? QStringLiteral("The ODBC driver manager cannot be started.")
                                    : diagnosticsOf(parentType, parent));
        }
    }
    ~Handle()
    {
        if (m_handle != SQL_NULL_HANDLE)
            SQLFreeHandle(m_type, m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    SQLHANDLE get() const { return m_handle; }
    // The handle went with its parent: a disconnect frees the connection's statements.
    void forget() { m_handle = SQL_NULL_HANDLE; }

private:
    SQLSMALLINT m_type;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

// The environment, set to the ODBC 3 behaviour before any connection is made in it.
SQLHENV odbc3(const Handle &environment)
{
    checked(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            SQL_HANDLE_ENV, environment.get());
    return environment.get();
}

DatabaseError closedConnection()
{
    return DatabaseError(QStringLiteral("The connection to the ODBC data source is closed."));
}

// ---------------------------------------------------------------------------------------------
// The session: one connection, shared by the provider and every statement prepared on it, so
// that a statement that outlives Close finds the connection gone instead of dangling.

class Session
{
public:
    explicit Session(int commandTimeout)
        : m_environment(SQL_HANDLE_ENV, SQL_HANDLE_ENV, SQL_NULL_HANDLE),
          m_connection(SQL_HANDLE_DBC, SQL_HANDLE_ENV, odbc3(m_environment)),
          m_commandTimeout(std::max(commandTimeout, 0))
    {}
    ~Session() { close(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Connects; throws DatabaseError with the driver's diagnostics.
    void connect(const QString &connectionString, int loginTimeout)
    {
        setAttribute(SQL_ATTR_LOGIN_TIMEOUT, static_cast<SQLULEN>(std::max(loginTimeout, 0)));
        WideText text(connectionString);
        check(SQLDriverConnectW(m_connection.get(), nullptr, text.get(), SQL_NTS, nullptr, 0,
                                nullptr, SQL_DRIVER_NOPROMPT));
        m_connected = true;
    }

    // Disconnects; a transaction still open is rolled back, as a driver refuses to disconnect
    // inside one. The connection's statements are freed with it.
    void close()
    {
        if (!m_connected)
            return;
        m_connected = false;
        SQLEndTran(SQL_HANDLE_DBC, m_connection.get(), SQL_ROLLBACK);
        SQLDisconnect(m_connection.get());
    }

    bool isConnected() const { return m_connected; }
    SQLHDBC connection() const
    {
        if (!m_connected)
            throw closedConnection();
        return m_connection.get();
    }
    int commandTimeout() const { return m_commandTimeout; }

    SQLRETURN check(SQLRETURN rc) const { return checked(rc, SQL_HANDLE_DBC, m_connection.get()); }
    void setAttribute(SQLINTEGER attribute, SQLULEN value)
    {
        check(SQLSetConnectAttr(m_connection.get(), attribute, reinterpret_cast<SQLPOINTER>(value),
                                0));
    }
    SQLULEN attribute(SQLINTEGER attribute) const
    {
        SQLULEN value = 0;
        check(SQLGetConnectAttr(connection(), attribute, &value, sizeof value, nullptr));
        return value;
    }
    QString textInfo(SQLUSMALLINT item) const
    {
        SQLWCHAR text[64] = {};
        SQLSMALLINT length = 0;
        check(SQLGetInfoW(connection(), item, text, sizeof text, &length));
        return fromWide(text, std::min<qsizetype>(length / 2, std::size(text) - 1));
    }
    template <typename T> T numericInfo(SQLUSMALLINT item) const
    {
        T value{};
        check(SQLGetInfoW(connection(), item, &value, sizeof value, nullptr));
        return value;
    }

private:
    Handle m_environment;
    Handle m_connection;
    int m_commandTimeout;
    bool m_connected = false;
};

class StatementHandle
{
public:
    explicit StatementHandle(std::shared_ptr<Session> session)
        : m_session(std::move(session)),
          m_handle(SQL_HANDLE_STMT, SQL_HANDLE_DBC, m_session->connection())
    {
        check(SQLSetStmtAttr(
            m_handle.get(), SQL_ATTR_QUERY_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_session->commandTimeout())), 0));
    }
    ~StatementHandle()
    {
        if (!m_session->isConnected())
            m_handle.forget();
    }
    StatementHandle(const StatementHandle &) = delete;
    StatementHandle &operator=(const StatementHandle &) = delete;

    // The handle, as long as its connection is open.
    SQLHSTMT get() const
    {
        if (!m_session->isConnected())
            throw closedConnection();
        return m_handle.get();
    }
    SQLRETURN check(SQLRETURN rc) const { return checked(rc, SQL_HANDLE_STMT, m_handle.get()); }

    void prepare(const QString &sql) const
    {
        WideText text(sql);
        check(SQLPrepareW(get(), text.get(), SQL_NTS));
    }
    // Ends the last execution: its rows are dropped and its parameters unbound.
    void reset() const
    {
        SQLFreeStmt(get(), SQL_CLOSE);
        SQLFreeStmt(get(), SQL_RESET_PARAMS);
    }
    // Reads past every further result of the execution, which reports their failures.
    void finishResults() const
    {
        while (check(SQLMoreResults(get())) != SQL_NO_DATA) {
        }
    }

private:
    std::shared_ptr<Session> m_session;
    Handle m_handle;
};

// ---------------------------------------------------------------------------------------------
// Identifiers: [Name] in SQL texts and quoted names, as the driver says its server quotes and
// folds them.

class IdentifierRules
{
public:
    IdentifierRules() = default;
    explicit IdentifierRules(const Session &session)
        : m_quote(session.textInfo(SQL_IDENTIFIER_QUOTE_CHAR).trimmed()),
          m_case(session.numericInfo<SQLUSMALLINT>(SQL_IDENTIFIER_CASE))
    {}

    // The name as the server stores an unquoted name: a quoted [Name] must find the same
    // object as the unquoted name does.
    QString folded(const QString &name) const
    {
        if (m_case == SQL_IC_LOWER)
            return name.toLower();
        if (m_case == SQL_IC_UPPER)
            return name.toUpper();
        return name;
    }

    // The folded name quoted; as it stands where the server quotes no names.
    QString quoted(const QString &name) const
    {
        QString text = folded(name);
        if (m_quote.isEmpty())
            return text;
        text.replace(m_quote, m_quote + m_quote);
        return m_quote + text + m_quote;
    }

    // The SQL text with each [Name] outside literals, quoted names and comments quoted by the
    // server's rules; "?" placeholders are ODBC's own and stay. A comment on the last line is
    // ended by a line break, since drivers append their own clauses to a query (psqlODBC does
    // for its cursors) that such a comment would swallow.
    QString translated(const QString &sql) const
    {
        QString out;
        out.reserve(sql.size());
        qsizetype i = 0;
        bool unendedLineComment = false;
        while (i < sql.size()) {
            const qsizetype end = skippedRunEnd(sql, i);
            if (end > i) {
                unendedLineComment = sql[i] == u'-' && end == sql.size() && !sql.endsWith(u'\n');
                out += QStringView(sql).mid(i, end - i);
                i = end;
                continue;
            }
            const qsizetype close = sql[i] == u'[' ? sql.indexOf(u']', i + 1) : -1;
            if (close > i) {
                out += quoted(sql.mid(i + 1, close - i - 1));
                i = close + 1;
            } else {
                out += sql[i++];
            }
        }
        if (unendedLineComment)
            out += u'\n';
        return out;
    }

private:
    // The end (one past) of a literal, quoted name or comment starting at `start`; `start`
    // where none starts there.
    static qsizetype skippedRunEnd(const QString &sql, qsizetype start)
    {
        const QChar c = sql[start];
        const QChar next = start + 1 < sql.size() ? sql[start + 1] : QChar();
        if (c == u'\'' || c == u'"' || c == u'`')
            return quotedEnd(sql, start);
        if (c == u'-' && next == u'-') {
            const qsizetype newline = sql.indexOf(u'\n', start);
            return newline < 0 ? sql.size() : newline + 1;
        }
        if (c == u'/' && next == u'*') {
            const qsizetype close = sql.indexOf(QStringLiteral("*/"), start + 2);
            return close < 0 ? sql.size() : close + 2;
        }
        return start;
    }

    // A doubled quote inside stands for one.
    static qsizetype quotedEnd(const QString &sql, qsizetype start)
    {
        const QChar quote = sql[start];
        qsizetype i = start + 1;
        while (i < sql.size()) {
            if (sql[i] != quote) {
                ++i;
            } else if (i + 1 < sql.size() && sql[i + 1] == quote) {
                i += 2;
            } else {
                return i + 1;
            }
        }
        return sql.size();
    }

    QString m_quote = QStringLiteral("\"");
    SQLUSMALLINT m_case = SQL_IC_SENSITIVE;
};

// ---------------------------------------------------------------------------------------------
// Date-times: the driver's time stamps carry the fraction in nanoseconds.

SQL_TIMESTAMP_STRUCT timestampOf(const DateTime &dateTime)
{
    const DateTime::Parts parts = dateTime.parts();
    SQL_TIMESTAMP_STRUCT stamp{};
    stamp.year = static_cast<SQLSMALLINT>(parts.year);
    stamp.month = static_cast<SQLUSMALLINT>(parts.month);
    stamp.day = static_cast<SQLUSMALLINT>(parts.day);
    stamp.hour = static_cast<SQLUSMALLINT>(parts.hour);
    stamp.minute = static_cast<SQLUSMALLINT>(parts.minute);
    stamp.second = static_cast<SQLUSMALLINT>(parts.second);
    stamp.fraction = static_cast<SQLUINTEGER>(parts.millisecond) * 1'000'000;
    return stamp;
}

// The time stamp rounded to the millisecond; plain calendar arithmetic, no time zone involved.
DateTime dateTimeOf(const SQL_TIMESTAMP_STRUCT &stamp)
{
    const long long milliseconds = ((stamp.hour * 60LL + stamp.minute) * 60 + stamp.second) * 1000 +
                                   (stamp.fraction + 500'000LL) / 1'000'000;
    if (const auto value =
            DateTime::fromDateAndMilliseconds(stamp.year, stamp.month, stamp.day, milliseconds))
        return *value;
    throw DatabaseError(QStringLiteral("The driver sent the date-time %1-%2-%3 %4:%5:%6, "
                                       "which cannot be read.")
                            .arg(stamp.year)
                            .arg(stamp.month)
                            .arg(stamp.day)
                            .arg(stamp.hour)
                            .arg(stamp.minute)
                            .arg(stamp.second));
}

// ---------------------------------------------------------------------------------------------
// Parameters: each bound from a buffer of its own that stays in place until the execution that
// uses it has ended.

// Texts this long go as long texts: some drivers refuse a longer ordinary text.
constexpr SQLULEN longestShortText = 4000;
// Room for a text output whose declared size is not given.
constexpr int defaultTextOutputSize = 4000;

struct SqlType
{
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    SQLULEN columnSize;
    SQLSMALLINT decimalDigits;
};

constexpr SqlType smallIntType{SQL_C_SSHORT, SQL_SMALLINT, 5, 0};
constexpr SqlType integerType{SQL_C_SLONG, SQL_INTEGER, 10, 0};
constexpr SqlType bigIntType{SQL_C_SBIGINT, SQL_BIGINT, 19, 0};
constexpr SqlType doubleType{SQL_C_DOUBLE, SQL_DOUBLE, 15, 0};
constexpr SqlType bitType{SQL_C_BIT, SQL_BIT, 1, 0};
constexpr SqlType timestampType{SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3};

SqlType textType(qsizetype length)
{
    const auto size = static_cast<SQLULEN>(std::max<qsizetype>(length, 1));
    const SQLSMALLINT sqlType = size > longestShortText ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
    return {SQL_C_WCHAR, sqlType, size, 0};
}

class ParameterBuffer
{
public:
    // A value bound as its own kind; Null and Empty go as a Null text.
    static ParameterBuffer forValue(const Value &value)
    {
        ParameterBuffer buffer;
        switch (value.kind()) {
        case Value::Kind::Empty:
        case Value::Kind::Null:
            buffer.storeNull(textType(1));
            break;
        case Value::Kind::Int16:
            buffer.store(smallIntType, SQLSMALLINT(value.toInt16()));
            break;
        case Value::Kind::Int32:
            buffer.store(integerType, SQLINTEGER(value.toInt32()));
            break;
        case Value::Kind::Int64:
            buffer.store(bigIntType, SQLBIGINT(value.toText().toLongLong()));
            break;
        case Value::Kind::Double:
            buffer.store(doubleType, SQLDOUBLE(value.toDouble()));
            break;
        case Value::Kind::Bool:
            buffer.store(bitType, SQLCHAR(value.toBool() ? 1 : 0));
            break;
        case Value::Kind::Text:
            buffer.storeText(value.toText());
            break;
        case Value::Kind::DateTime:
            buffer.store(timestampType, timestampOf(value.toDateTime()));
            break;
        }
        return buffer;
    }

    // An input converted to its declared type (a Null of that type for Null and Empty), or
    // room for an output of that type.
    static ParameterBuffer forDeclared(const Parameter &parameter)
    {
        ParameterBuffer buffer;
        if (parameter.direction == adParamOutput) {
            buffer.reserveOutput(parameter);
        } else if (parameter.value.isNull() || parameter.value.isEmpty()) {
            buffer.storeNull(declaredType(parameter));
        } else {
            try {
                buffer.storeConverted(parameter);
            } catch (const Error &error) {
                throw DatabaseError(
                    QStringLiteral("The value of parameter %1 does not fit its type: %2")
                        .arg(parameter.name, error.description()));
            }
        }
        return buffer;
    }

    void bind(const StatementHandle &statement, int position, SQLSMALLINT direction)
    {
        statement.check(SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(position),
                                         direction, m_type.cType, m_type.sqlType, m_type.columnSize,
                                         m_type.decimalDigits, m_bytes.data(),
                                         static_cast<SQLLEN>(m_bytes.size()), &m_indicator));
    }

    // The output value the driver left in the buffer.
    Value outputValue(const QString &name) const
    {
        if (m_indicator == SQL_NULL_DATA)
            return Value::null();
        switch (m_type.cType) {
        case SQL_C_SSHORT:
            return Value(std::int16_t(read<SQLSMALLINT>()));
        case SQL_C_SLONG:
            return Value(std::int32_t(read<SQLINTEGER>()));
        case SQL_C_DOUBLE:
            return Value(read<SQLDOUBLE>());
        case SQL_C_BIT:
            return Value(read<SQLCHAR>() != 0);
        case SQL_C_TYPE_TIMESTAMP:
            return Value(dateTimeOf(read<SQL_TIMESTAMP_STRUCT>()));
        default:
            return Value(outputText(name));
        }
    }

private:
    static SqlType declaredType(const Parameter &parameter)
    {
        switch (parameter.type) {
        case adSmallInt:
            return smallIntType;
        case adInteger:
            return integerType;
        case adDouble:
            return doubleType;
        case adBoolean:
            return bitType;
        case adDate:
            return timestampType;
        case adVarChar:
        case adVarWChar:
            break;
        }
        return textType(parameter.size > 0 ? parameter.size : defaultTextOutputSize);
    }

    void storeConverted(const Parameter &parameter)
    {
        const Value &value = parameter.value;
        switch (parameter.type) {
        case adSmallInt:
            return store(smallIntType, SQLSMALLINT(value.toInt16()));
        case adInteger:
            return store(integerType, SQLINTEGER(value.toInt32()));
        case adDouble:
            return store(doubleType, SQLDOUBLE(value.toDouble()));
        case adBoolean:
            return store(bitType, SQLCHAR(value.toBool() ? 1 : 0));
        case adDate:
            return store(timestampType, timestampOf(value.toDateTime()));
        case adVarChar:
        case adVarWChar:
            break;
        }
        storeText(value.toText());
    }

    template <typename T> void store(const SqlType &type, const T &data)
    {
        m_type = type;
        m_bytes.resize(sizeof data);
        std::memcpy(m_bytes.data(), &data, sizeof data);
        m_indicator = sizeof data;
    }
    void storeText(const QString &text)
    {
        m_type = textType(text.size());
        const auto bytes = static_cast<std::size_t>(text.size()) * sizeof(char16_t);
        m_bytes.resize(bytes + sizeof(char16_t)); // with a terminating NUL
        std::memcpy(m_bytes.data(), text.utf16(), bytes + sizeof(char16_t));
        m_indicator = static_cast<SQLLEN>(bytes);
    }
    void storeNull(const SqlType &type)
    {
        m_type = type;
        m_bytes.assign(sizeof(SQLBIGINT), 0);
        m_indicator = SQL_NULL_DATA;
    }
    void reserveOutput(const Parameter &parameter)
    {
        m_type = declaredType(parameter);
        const std::size_t room = m_type.cType == SQL_C_WCHAR
                                     ? (m_type.columnSize + 1) * sizeof(char16_t)
                                     : std::max(sizeof(SQL_TIMESTAMP_STRUCT), sizeof(SQLBIGINT));
        m_bytes.assign(room, 0);
        // Left as it is by a driver that sets no output, as for a call that returns no row.
        m_indicator = SQL_NULL_DATA;
    }

    template <typename T> T read() const
    {
        T data{};
        std::memcpy(&data, m_bytes.data(), std::min(sizeof data, m_bytes.size()));
        return data;
    }
    QString outputText(const QString &name) const
    {
        const std::size_t room = m_bytes.size() - sizeof(char16_t);
        if (m_indicator == SQL_NO_TOTAL || static_cast<std::size_t>(m_indicator) > room) {
            throw DatabaseError(QStringLiteral("The value of output parameter %1 is longer "
                                               "than its declared size of %2.")
                                    .arg(name)
                                    .arg(m_type.columnSize));
        }
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(m_bytes.data()),
                                  m_indicator / static_cast<SQLLEN>(sizeof(char16_t)));
    }

    SqlType m_type = textType(1);
    std::vector<char> m_bytes;
    SQLLEN m_indicator = SQL_NULL_DATA;
};

// ---------------------------------------------------------------------------------------------
// Column values, read by the column's SQL type.

template <typename T, typename Make>
Value fixedColumn(const StatementHandle &statement, SQLUSMALLINT column, SQLSMALLINT cType,
                  Make make)
{
    T data{};
    SQLLEN indicator = 0;
    statement.check(SQLGetData(statement.get(), column, cType, &data, sizeof data, &indicator));
    if (indicator == SQL_NULL_DATA)
        return Value::null();
    return make(data);
}

// Read in pieces: the driver gives a long text a piece per call.
Value textColumn(const StatementHandle &statement, SQLUSMALLINT column)
{
    std::vector<SQLWCHAR> piece(4096);
    const auto pieceBytes = static_cast<SQLLEN>(piece.size() * sizeof(SQLWCHAR));
    QString text;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = statement.check(
            SQLGetData(statement.get(), column, SQL_C_WCHAR, piece.data(), pieceBytes, &indicator));
        if (rc == SQL_NO_DATA)
            break;
        if (indicator == SQL_NULL_DATA)
            return Value::null();
        const bool whole = indicator != SQL_NO_TOTAL && indicator < pieceBytes;
        const qsizetype characters =
            whole ? indicator / static_cast<SQLLEN>(sizeof(SQLWCHAR)) : piece.size() - 1;
        text += fromWide(piece.data(), characters);
        if (whole)
            break;
    }
    return Value(text);
}

Value columnValue(const StatementHandle &statement, SQLUSMALLINT column, SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
        return fixedColumn<SQLSMALLINT>(statement, column, SQL_C_SSHORT,
                                        [](SQLSMALLINT v) { return Value(std::int16_t(v)); });
    case SQL_INTEGER:
        return fixedColumn<SQLINTEGER>(statement, column, SQL_C_SLONG,
                                       [](SQLINTEGER v) { return Value(std::int32_t(v)); });
    case SQL_BIGINT:
        return fixedColumn<SQLBIGINT>(statement, column, SQL_C_SBIGINT,
                                      [](SQLBIGINT v) { return Value(std::int64_t(v)); });
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return fixedColumn<SQLDOUBLE>(statement, column, SQL_C_DOUBLE,
                                      [](SQLDOUBLE v) { return Value(double(v)); });
    case SQL_BIT:
        return fixedColumn<SQLCHAR>(statement, column, SQL_C_BIT,
                                    [](SQLCHAR v) { return Value(v != 0); });
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
        return fixedColumn<SQL_TIMESTAMP_STRUCT>(
            statement, column, SQL_C_TYPE_TIMESTAMP,
            [](const SQL_TIMESTAMP_STRUCT &v) { return Value(dateTimeOf(v)); });
    default:
        return textColumn(statement, column);
    }
}

// The columns of a statement's current result and its rows, read one at a time.
class ResultRows
{
public:
    // Takes the result that the statement has now; none when the execution gave no rows.
    void describe(const StatementHandle &statement)
    {
        clear();
        SQLSMALLINT count = 0;
        statement.check(SQLNumResultCols(statement.get(), &count));
        for (SQLUSMALLINT column = 1; column <= count; ++column)
            m_columns.push_back(describeColumn(statement, column));
        m_open = count > 0;
    }
    void clear()
    {
        m_columns.clear();
        m_row.clear();
        m_open = false;
        m_onRow = false;
    }

    // Moves to the next row; at the end the statement's cursor is closed, so that it holds
    // nothing on the server.
    bool next(const StatementHandle &statement)
    {
        m_onRow = false;
        if (!m_open)
            return false;
        if (statement.check(SQLFetch(statement.get())) == SQL_NO_DATA) {
            m_open = false;
            SQLFreeStmt(statement.get(), SQL_CLOSE);
            return false;
        }
        m_row.clear();
        for (std::size_t i = 0; i < m_columns.size(); ++i)
            m_row.push_back(
                columnValue(statement, static_cast<SQLUSMALLINT>(i + 1), m_columns[i].type));
        m_onRow = true;
        return true;
    }

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    QString columnName(int column) const
    {
        checkColumn(column);
        return m_columns[static_cast<std::size_t>(column)].name;
    }
    Value value(int column) const
    {
        checkColumn(column);
        if (!m_onRow)
            throw DatabaseError(QStringLiteral("There is no current row."));
        return m_row[static_cast<std::size_t>(column)];
    }

private:
    struct Column
    {
        QString name;
        SQLSMALLINT type;
    };

    static Column describeColumn(const StatementHandle &statement, SQLUSMALLINT column)
    {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        statement.check(SQLDescribeColW(statement.get(), column, name,
                                        static_cast<SQLSMALLINT>(std::size(name)), &nameLength,
                                        &type, &size, &digits, &nullable));
        return {fromWide(name, std::min<qsizetype>(nameLength, std::size(name) - 1)), type};
    }

    void checkColumn(int column) const
    {
        if (column < 0 || column >= columnCount())
            throw DatabaseError(QStringLiteral("There is no column %1.").arg(column));
    }

    std::vector<Column> m_columns;
    std::vector<Value> m_row;
    bool m_open = false;
    bool m_onRow = false;
};

// ---------------------------------------------------------------------------------------------
// Statements.

// A statement prepared once and executed with values bound by their kind. Its rows stream
// through SQLFetch, a row at a time; whether other statements can run on the connection while
// they do is the driver's matter. psqlODBC reads a result whole at execution, or a cursor's
// batch at a time where the data source sets UseDeclareFetch=1 (flat memory for streamed
// record sets); either way other statements may run meanwhile. A driver that allows only one
// active statement per connection (SQL_ACTIVE_STATEMENTS = 1) refuses them.
class OdbcStatement : public Statement
{
public:
    OdbcStatement(std::shared_ptr<Session> session, const QString &sql)
        : m_handle(std::move(session))
    {
        m_handle.prepare(sql);
        SQLSMALLINT markers = 0;
        m_handle.check(SQLNumParams(m_handle.get(), &markers));
        m_markers = markers;
    }

    void execute(const std::vector<Value> &params) override
    {
        m_handle.reset();
        m_rows.clear();
        m_rowsAffected = 0;
        if (params.size() != static_cast<std::size_t>(m_markers)) {
            throw DatabaseError(QStringLiteral("The statement takes %1 parameters, but %2 were "
                                               "given.")
                                    .arg(m_markers)
                                    .arg(params.size()));
        }
        m_parameters.clear();
        m_parameters.reserve(params.size()); // the buffers stay where they were bound
        for (const Value &value : params)
            m_parameters.push_back(ParameterBuffer::forValue(value));
        for (std::size_t i = 0; i < m_parameters.size(); ++i)
            m_parameters[i].bind(m_handle, static_cast<int>(i) + 1, SQL_PARAM_INPUT);
        if (m_handle.check(SQLExecute(m_handle.get())) != SQL_NO_DATA) {
            SQLLEN rows = 0;
            m_handle.check(SQLRowCount(m_handle.get(), &rows));
            m_rowsAffected = std::max<SQLLEN>(rows, 0);
        }
        m_rows.describe(m_handle);
    }
    bool fetch() override { return m_rows.next(m_handle); }
    int columnCount() const override { return m_rows.columnCount(); }
    QString columnName(int column) const override { return m_rows.columnName(column); }
    Value columnValue(int column) const override { return m_rows.value(column); }
    long long rowsAffected() const override { return m_rowsAffected; }

private:
    StatementHandle m_handle;
    int m_markers = 0;
    std::vector<ParameterBuffer> m_parameters;
    ResultRows m_rows;
    long long m_rowsAffected = 0;
};

// ---------------------------------------------------------------------------------------------
// Stored procedures: the driver's call escape with every parameter bound by position, inputs
// converted to their declared types and outputs read from their buffers once the call's
// results are read. Queued calls run one by one at flush (the default of ProcedureCall).

QString procedureCallText(const QString &name, std::size_t parameters)
{
    if (parameters == 0)
        return QStringLiteral("{CALL %1}").arg(name);
    QStringList markers;
    for (std::size_t i = 0; i < parameters; ++i)
        markers << QStringLiteral("?");
    return QStringLiteral("{CALL %1(%2)}").arg(name, markers.join(u','));
}

class OdbcProcedureCall : public ProcedureCall
{
public:
    OdbcProcedureCall(std::shared_ptr<Session> session, const QString &name,
                      const std::vector<Parameter> &parameters)
        : m_handle(std::move(session)), m_name(name), m_parameterCount(parameters.size())
    {
        m_handle.prepare(procedureCallText(name, parameters.size()));
    }

    void execute(std::vector<Parameter> &parameters) override
    {
        if (parameters.size() != m_parameterCount) {
            throw DatabaseError(QStringLiteral("Stored procedure %1 was prepared with %2 "
                                               "parameters, but %3 were given.")
                                    .arg(m_name)
                                    .arg(m_parameterCount)
                                    .arg(parameters.size()));
        }
        m_handle.reset();
        m_buffers.clear();
        m_buffers.reserve(parameters.size()); // the buffers stay where they were bound
        for (const Parameter &parameter : parameters)
            m_buffers.push_back(ParameterBuffer::forDeclared(parameter));
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            m_buffers[i].bind(m_handle, static_cast<int>(i) + 1,
                              parameters[i].direction == adParamOutput ? SQL_PARAM_OUTPUT
                                                                       : SQL_PARAM_INPUT);
        }
        m_handle.check(SQLExecute(m_handle.get()));
        // Output parameters are set once every result of the call has been read.
        m_handle.finishResults();
        SQLFreeStmt(m_handle.get(), SQL_CLOSE);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (parameters[i].direction == adParamOutput)
                parameters[i].value = m_buffers[i].outputValue(parameters[i].name);
        }
    }

private:
    StatementHandle m_handle;
    QString m_name;
    std::size_t m_parameterCount;
    std::vector<ParameterBuffer> m_buffers;
};

// ---------------------------------------------------------------------------------------------
// Opening a connection.

// An attribute value as the connection-string grammar takes it: in braces, with a closing brace
// inside doubled, when it holds a ";", starts with "{" or has blanks at either end; as it
// stands otherwise. Braces only where they are needed, since not every driver removes them:
// psqlODBC takes them off the password only, so a user or database name that needs them does
// not reach its server intact through that driver.
QString attributeValue(const QString &value)
{
    const bool plain = !value.contains(u';') && !value.startsWith(u'{') && value == value.trimmed();
    if (plain)
        return value;
    QString escaped = value;
    escaped.replace(u'}', QStringLiteral("}}"));
    return u'{' + escaped + u'}';
}

QString driverConnectionString(const ConnectionOptions &options)
{
    QStringList attributes;
    const auto add = [&](const QString &keyword, const QString &value) {
        if (!value.isEmpty())
            attributes << keyword + u'=' + attributeValue(value);
    };
    add(QStringLiteral("DSN"), options.value(QStringLiteral("Data Source")).trimmed());
    add(QStringLiteral("DATABASE"), options.value(QStringLiteral("Initial Catalog")).trimmed());
    add(QStringLiteral("UID"), options.value(QStringLiteral("User ID")).trimmed());
    add(QStringLiteral("PWD"), options.value(QStringLiteral("Password")));
    return attributes.join(u';');
}

// The text with the password masked, also in the form the connection string carried it.
QString withoutPassword(QString text, const QString &password)
{
    if (password.isEmpty())
        return text;
    text.replace(attributeValue(password), QStringLiteral("****"));
    text.replace(password, QStringLiteral("****"));
    return text;
}

class OdbcProvider : public Provider
{
public:
    ~OdbcProvider() override { close(); }

    void open(const ConnectionOptions &options) override
    {
        close();
        const QString dataSource = options.value(QStringLiteral("Data Source")).trimmed();
        if (dataSource.isEmpty())
            throw DatabaseError(QStringLiteral("The connection string names no Data Source."));
        auto session = std::make_shared<Session>(options.commandTimeout);
        try {
            session->connect(driverConnectionString(options), options.connectionTimeout);
        } catch (const DatabaseError &error) {
            const QString password = options.value(QStringLiteral("Password"));
            throw DatabaseError(
                QStringLiteral("Provider %1 cannot open the ODBC data source \"%2\": %3")
                    .arg(options.value(QStringLiteral("Provider")).trimmed(), dataSource,
                         withoutPassword(error.description(), password)));
        }
        m_identifiers = IdentifierRules(*session);
        m_snapshotIsolation = snapshotIsolation(*session);
        m_defaultIsolation = session->attribute(SQL_ATTR_TXN_ISOLATION);
        m_session = std::move(session);
    }
    void close() override
    {
        if (m_session)
            m_session->close();
        m_session.reset();
        m_inTransaction = false;
        m_inSnapshot = false;
    }

    std::unique_ptr<Statement> prepare(const QString &sql) override
    {
        return std::make_unique<OdbcStatement>(session(), m_identifiers.translated(sql));
    }
    std::unique_ptr<Statement> prepareCursor(const QString &sql) override { return prepare(sql); }
    std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) override
    {
        return std::make_unique<OdbcProcedureCall>(session(), name, parameters);
    }
    // The driver runs the script's statements in one go and reports the first that fails.
    void executeScript(const QString &sql) override
    {
        StatementHandle statement(session());
        WideText text(sql);
        statement.check(SQLExecDirectW(statement.get(), text.get(), SQL_NTS));
        statement.finishResults();
    }

    QString quoteIdentifier(const QString &name) const override
    {
        return m_identifiers.quoted(name);
    }

    // Through the driver's catalog function; a name "schema.table" looks in that schema only.
    QStringList primaryKey(const QString &table) override
    {
        const qsizetype dot = table.lastIndexOf(u'.');
        const QString schema = dot < 0 ? QString() : m_identifiers.folded(table.left(dot));
        WideText schemaText(schema);
        WideText tableText(m_identifiers.folded(table.mid(dot + 1)));
        StatementHandle statement(session());
        statement.check(SQLPrimaryKeysW(statement.get(), nullptr, 0,
                                        schema.isEmpty() ? nullptr : schemaText.get(),
                                        schema.isEmpty() ? 0 : SQL_NTS, tableText.get(), SQL_NTS));
        // Columns: catalog, schema, table, column, position in the key, key name. A table of
        // that name in several schemas gives the key of the first.
        ResultRows rows;
        rows.describe(statement);
        std::optional<QString> firstSchema;
        std::map<int, QString> columns;
        while (rows.next(statement)) {
            const QString rowSchema = rows.value(1).toTextOrEmpty();
            if (!firstSchema)
                firstSchema = rowSchema;
            if (rowSchema == *firstSchema)
                columns[rows.value(4).toInt32()] = rows.value(3).toText();
        }
        QStringList key;
        for (const auto &[position, column] : columns)
            key << column;
        return key;
    }

    void beginTransaction() override { startTransaction(); }
    void commit() override { endTransaction(SQL_COMMIT); }
    void rollback() override { endTransaction(SQL_ROLLBACK); }

    // A read-only transaction (where the driver honours the access mode) at the isolation level
    // that reads one snapshot throughout.
    void beginReadSnapshot() override
    {
        Session &current = *session();
        if (m_inTransaction)
            throw transactionOpen();
        if (m_snapshotIsolation == 0) {
            throw DatabaseError(QStringLiteral("The ODBC data source offers neither repeatable "
                                               "reads nor serializable transactions."));
        }
        current.setAttribute(SQL_ATTR_TXN_ISOLATION, m_snapshotIsolation);
        SQLSetConnectAttr(current.connection(), SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
        m_inSnapshot = true;
        startTransaction();
    }

    // Savepoints of ours do not last through a driver that rolls back each failed statement by
    // itself, as psqlODBC does by default: it wraps statements in savepoints of its own and
    // releases ours with them. A driver that does not roll back failed statements talks to a
    // server where a failure leaves the transaction usable anyway.
    bool keepsSavepoints() override { return false; }

private:
    const std::shared_ptr<Session> &session() const
    {
        if (!m_session)
            throw closedConnection();
        return m_session;
    }

    static DatabaseError transactionOpen()
    {
        return DatabaseError(QStringLiteral("A transaction is already open on this connection."));
    }

    // Repeatable reads where the driver offers them, serializable transactions otherwise; 0
    // when it offers neither.
    static SQLULEN snapshotIsolation(const Session &session)
    {
        const auto offered = session.numericInfo<SQLUINTEGER>(SQL_TXN_ISOLATION_OPTION);
        if (offered & SQL_TXN_REPEATABLE_READ)
            return SQL_TXN_REPEATABLE_READ;
        if (offered & SQL_TXN_SERIALIZABLE)
            return SQL_TXN_SERIALIZABLE;
        return 0;
    }

    void startTransaction()
    {
        if (m_inTransaction)
            throw transactionOpen();
        try {
            session()->setAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
        } catch (...) {
            restoreAfterTransaction();
            throw;
        }
        m_inTransaction = true;
    }

    // Ends the transaction and goes back to committing each statement by itself. A commit
    // that fails is followed by a rollback, so that nothing stays open.
    void endTransaction(SQLSMALLINT completion)
    {
        Session &current = *session();
        const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, current.connection(), completion);
        std::optional<QString> failure;
        if (!SQL_SUCCEEDED(rc)) {
            failure = diagnosticsOf(SQL_HANDLE_DBC, current.connection());
            SQLEndTran(SQL_HANDLE_DBC, current.connection(), SQL_ROLLBACK);
        }
        m_inTransaction = false;
        restoreAfterTransaction();
        if (failure)
            throw DatabaseError(*failure);
    }

    void restoreAfterTransaction()
    {
        Session &current = *session();
        current.setAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
        if (std::exchange(m_inSnapshot, false)) {
            current.setAttribute(SQL_ATTR_TXN_ISOLATION, m_defaultIsolation);
            SQLSetConnectAttr(current.connection(), SQL_ATTR_ACCESS_MODE,
                              reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_WRITE), 0);
        }
    }

    std::shared_ptr<Session> m_session;
    IdentifierRules m_identifiers;
    SQLULEN m_snapshotIsolation = 0;
    SQLULEN m_defaultIsolation = 0;
    bool m_inTransaction = false;
    bool m_inSnapshot = false;
};

} // namespace

std::unique_ptr<Provider> createOdbcProvider()
{
    return std::make_unique<OdbcProvider>();
}

} // namespace zarn::dal
