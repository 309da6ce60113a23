#include "platform/dal/odbc/OdbcValues.h"

#include "platform/Error.h"

#include <algorithm>
#include <cstring>
#include <sql.h>
#include <sqlext.h>

namespace zarn::dal::odbc {

namespace {

QString fromWide(const SQLWCHAR *text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), length);
}

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
// Room for the text of a number or a date-time output.
constexpr SQLULEN shortestOutputText = 64;

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

} // namespace

ParameterBuffer::ParameterBuffer() : m_type(textType(1)), m_indicator(SQL_NULL_DATA) {}

ParameterBuffer ParameterBuffer::forValue(const Value &value)
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

ParameterBuffer ParameterBuffer::forDeclared(const Parameter &parameter)
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

void ParameterBuffer::bind(const StatementHandle &statement, int position, short direction)
{
    statement.check(SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(position),
                                     direction, m_type.cType, m_type.sqlType, m_type.columnSize,
                                     m_type.decimalDigits, m_bytes.data(),
                                     static_cast<SQLLEN>(m_bytes.size()), &m_indicator));
}

SqlType ParameterBuffer::declaredType(const Parameter &parameter)
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

void ParameterBuffer::storeConverted(const Parameter &parameter)
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

template <typename T> void ParameterBuffer::store(const SqlType &type, const T &data)
{
    m_type = type;
    m_bytes.resize(sizeof data);
    std::memcpy(m_bytes.data(), &data, sizeof data);
    m_indicator = sizeof data;
}

void ParameterBuffer::storeText(const QString &text)
{
    m_type = textType(text.size());
    const auto bytes = static_cast<std::size_t>(text.size()) * sizeof(char16_t);
    m_bytes.resize(bytes + sizeof(char16_t)); // with a terminating NUL
    std::memcpy(m_bytes.data(), text.utf16(), bytes + sizeof(char16_t));
    m_indicator = static_cast<SQLLEN>(bytes);
}

void ParameterBuffer::storeNull(const SqlType &type)
{
    m_type = type;
    m_bytes.assign(sizeof(SQLBIGINT), 0);
    m_indicator = SQL_NULL_DATA;
}

// Every output as text, with room for any number or date-time: a driver may write its outputs
// as text whatever C type they were bound with (MariaDB Connector/ODBC writes 8-bit text, or a
// date-time's own structure of 40 bytes), and must not write past the buffer.
void ParameterBuffer::reserveOutput(const Parameter &parameter)
{
    m_type = declaredType(parameter);
    const bool text = parameter.type == adVarChar || parameter.type == adVarWChar;
    const SQLULEN characters = text ? m_type.columnSize : shortestOutputText;
    m_type.cType = SQL_C_WCHAR;
    m_bytes.assign((characters + 1) * sizeof(char16_t), 0);
    // Left as it is by a driver that sets no output, as for a call that returns no row.
    m_indicator = SQL_NULL_DATA;
}

Value ParameterBuffer::outputText(const QString &name) const
{
    if (m_indicator == SQL_NULL_DATA)
        return Value::null();
    const std::size_t room = m_bytes.size() - sizeof(char16_t);
    if (m_indicator == SQL_NO_TOTAL || static_cast<std::size_t>(m_indicator) > room) {
        throw DatabaseError(QStringLiteral("The value of output parameter %1 is longer "
                                           "than its declared size of %2.")
                                .arg(name)
                                .arg(m_type.columnSize));
    }
    return Value(QString::fromUtf16(reinterpret_cast<const char16_t *>(m_bytes.data()),
                                    m_indicator / static_cast<SQLLEN>(sizeof(char16_t))));
}

namespace {

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
} // namespace

void ResultRows::describe(const StatementHandle &statement)
{
    clear();
    SQLSMALLINT count = 0;
    statement.check(SQLNumResultCols(statement.get(), &count));
    for (SQLUSMALLINT column = 1; column <= count; ++column)
        m_columns.push_back(describeColumn(statement, column));
    m_open = count > 0;
}

void ResultRows::clear()
{
    m_columns.clear();
    m_row.clear();
    m_open = false;
    m_onRow = false;
}

bool ResultRows::next(const StatementHandle &statement)
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

QString ResultRows::columnName(int column) const
{
    checkColumn(column);
    return m_columns[static_cast<std::size_t>(column)].name;
}

Value ResultRows::value(int column) const
{
    checkColumn(column);
    if (!m_onRow)
        throw DatabaseError(QStringLiteral("There is no current row."));
    return m_row[static_cast<std::size_t>(column)];
}

ResultRows::Column ResultRows::describeColumn(const StatementHandle &statement,
                                              unsigned short column)
{
    SQLWCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    statement.check(SQLDescribeColW(statement.get(), column, name,
                                    static_cast<SQLSMALLINT>(std::size(name)), &nameLength, &type,
                                    &size, &digits, &nullable));
    return {fromWide(name, std::min<qsizetype>(nameLength, std::size(name) - 1)), type};
}

void ResultRows::checkColumn(int column) const
{
    if (column < 0 || column >= columnCount())
        throw DatabaseError(QStringLiteral("There is no column %1.").arg(column));
}

} // namespace zarn::dal::odbc
