#include "platform/dal/sqlite/SqliteStatement.h"

#include "platform/Error.h"
#include "platform/dal/SqlText.h"
#include "platform/dal/sqlite/SqliteSession.h"
#include "platform/dal/sqlite/SqliteValues.h"

#include <sqlite3.h>

namespace zarn::dal::sqlite {

StatementHandle::StatementHandle(sqlite3 *db, const QString &sql) : m_db(db)
{
    const QByteArray text = sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, text.constData(), static_cast<int>(text.size()),
                                      SQLITE_PREPARE_PERSISTENT, &m_stmt, &tail);
    if (rc != SQLITE_OK)
        raise(rc, messageOf(db));
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
    const int rc = bindValue(m_stmt, position, value);
    if (rc != SQLITE_OK)
        throw DatabaseError(messageOf(m_db));
}

void StatementHandle::reset() const
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
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
