#include "platform/dal/sqlite/SqliteStatement.h"

#include "platform/Error.h"
#include "platform/dal/SqlText.h"
#include "platform/dal/sqlite/SqliteDateTime.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <sqlite3.h>

namespace zarn::dal::sqlite {

namespace {

Value numberOf(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_FLOAT)
        return Value(sqlite3_column_double(stmt, column));
    const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
    if (v >= std::numeric_limits<std::int32_t>::min() &&
        v <= std::numeric_limits<std::int32_t>::max())
        return Value(static_cast<std::int32_t>(v));
    return Value(static_cast<std::int64_t>(v));
}

// Throws the library's failure; a lock that the busy time-out gave up on is a time-out.
[[noreturn]] void raise(int rc, const QString &message)
{
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw TimeoutError(message);
    throw DatabaseError(message);
}

} // namespace

const SqlDialect &sqliteDialect()
{
    static const SqlDialect dialect;
    return dialect;
}

QString messageOf(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

void run(sqlite3 *db, const QString &sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        raise(rc, messageOf(db));
}

StatementHandle::StatementHandle(sqlite3 *db, const QString &sql) : m_db(db)
{
    const QByteArray text = sql.toUtf8();
    const char *tail = nullptr;
    if (sqlite3_prepare_v3(db, text.constData(), static_cast<int>(text.size()),
                           SQLITE_PREPARE_PERSISTENT, &m_stmt, &tail) != SQLITE_OK)
        throw DatabaseError(messageOf(db));
    if (m_stmt == nullptr)
        throw DatabaseError(QStringLiteral("The SQL text holds no statement."));
    if (!sqltext::splitStatements(QString::fromUtf8(tail), sqliteDialect()).isEmpty()) {
        sqlite3_finalize(m_stmt);
        throw DatabaseError(QStringLiteral("The SQL text holds more than one statement."));
    }
}

StatementHandle::~StatementHandle()
{
    sqlite3_finalize(m_stmt);
}

bool StatementHandle::step() const
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = messageOf(m_db);
    sqlite3_reset(m_stmt);
    raise(rc, message);
}

void StatementHandle::bind(int position, const Value &value) const
{
    const int rc = bindValue(position, value);
    if (rc != SQLITE_OK)
        throw DatabaseError(messageOf(m_db));
}

void StatementHandle::reset() const
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int StatementHandle::bindValue(int position, const Value &value) const
{
    switch (value.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null:
        return sqlite3_bind_null(m_stmt, position);
    case Value::Kind::Int16:
    case Value::Kind::Int32:
    case Value::Kind::Int64:
        return sqlite3_bind_int64(m_stmt, position, value.toText().toLongLong());
    case Value::Kind::Double:
        return sqlite3_bind_double(m_stmt, position, value.toDouble());
    case Value::Kind::Bool:
        return sqlite3_bind_int(m_stmt, position, value.toBool() ? 1 : 0);
    case Value::Kind::Text:
        return bindText(position, value.toText());
    case Value::Kind::DateTime:
        return bindText(position, value.toDateTime().toIsoText());
    }
    return SQLITE_MISUSE;
}

int StatementHandle::bindText(int position, const QString &text) const
{
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text64(m_stmt, position, utf8.constData(),
                               static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

bool isDateTimeType(const char *declaredType)
{
    if (declaredType == nullptr)
        return false;
    const QString type = QString::fromUtf8(declaredType).toUpper();
    return type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME"));
}

QString textOf(sqlite3_stmt *stmt, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                             sqlite3_column_bytes(stmt, column));
}

Value columnValueOf(sqlite3_stmt *stmt, int column, bool dateTimeColumn)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        if (dateTimeColumn) {
            if (const std::optional<DateTime> dateTime =
                    dateTimeOfJulianDay(sqlite3_column_double(stmt, column)))
                return Value(*dateTime);
        }
        return numberOf(stmt, column);
    case SQLITE_TEXT: {
        const QString text = textOf(stmt, column);
        if (dateTimeColumn) {
            if (const std::optional<DateTime> dateTime = DateTime::parseIso(text))
                return Value(*dateTime);
        }
        return Value(text);
    }
    case SQLITE_NULL:
        return Value::null();
    default:
        throw DatabaseError(QStringLiteral("Column %1 holds binary data, which cannot be read.")
                                .arg(QString::fromUtf8(sqlite3_column_name(stmt, column))));
    }
}

SqliteStatement::SqliteStatement(sqlite3 *db, const QString &sql) : m_handle(db, sql)
{
    for (int column = 0; column < columnCount(); ++column)
        m_dateTimeColumns.push_back(
            isDateTimeType(sqlite3_column_decltype(m_handle.get(), column)));
}

void SqliteStatement::execute(const std::vector<Value> &params)
{
    m_handle.reset();
    m_onRow = false;
    m_firstRowWaiting = false;
    m_rowsAffected = 0;
    const int expected = sqlite3_bind_parameter_count(m_handle.get());
    if (static_cast<std::size_t>(expected) != params.size())
        throw DatabaseError(QStringLiteral("The statement takes %1 parameters, but %2 were given.")
                                .arg(expected)
                                .arg(params.size()));
    for (std::size_t i = 0; i < params.size(); ++i)
        m_handle.bind(static_cast<int>(i) + 1, params[i]);
    // Stepping once runs a change at once (also one with RETURNING) and reports its errors
    // here; a first row is kept for fetch().
    m_firstRowWaiting = stepOrFinish();
}

bool SqliteStatement::fetch()
{
    if (m_firstRowWaiting) {
        m_firstRowWaiting = false;
        m_onRow = true;
        return true;
    }
    if (!m_onRow)
        return false;
    m_onRow = false; // a failed step has reset the statement: it gives no more rows
    m_onRow = stepOrFinish();
    return m_onRow;
}

int SqliteStatement::columnCount() const
{
    return sqlite3_column_count(m_handle.get());
}

QString SqliteStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_handle.get(), column));
}

Value SqliteStatement::columnValue(int column) const
{
    if (!m_onRow || column < 0 || column >= columnCount())
        throw DatabaseError(QStringLiteral("No row or no such column to read."));
    return columnValueOf(m_handle.get(), column,
                         m_dateTimeColumns[static_cast<std::size_t>(column)]);
}

// Steps; when the statement is done, notes the rows it changed and resets it, so that it holds
// no read lock (and no old snapshot) once its rows are read.
bool SqliteStatement::stepOrFinish()
{
    if (m_handle.step())
        return true;
    if (!sqlite3_stmt_readonly(m_handle.get()))
        m_rowsAffected = sqlite3_changes64(m_handle.db());
    sqlite3_reset(m_handle.get());
    return false;
}

} // namespace zarn::dal::sqlite
