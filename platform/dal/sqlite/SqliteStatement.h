#pragma once

#include "platform/Value.h"
#include "platform/dal/Provider.h"

#include <QString>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The statements of the SQLite provider: one prepared statement of the library, the values of
// its columns, and the Statement the database access layer runs.
namespace zarn::dal::sqlite {

// SQLite reads brackets, double quotes and backticks around names, and no nested comments.
const SqlDialect &sqliteDialect();

QString messageOf(sqlite3 *db);
// Runs SQL that needs no parameters and gives no rows that are wanted.
void run(sqlite3 *db, const QString &sql);

// Owns one prepared statement of the library.
class StatementHandle
{
public:
    // Throws DatabaseError when the text holds no statement or more than one.
    StatementHandle(sqlite3 *db, const QString &sql);
    ~StatementHandle();
    StatementHandle(const StatementHandle &) = delete;
    StatementHandle &operator=(const StatementHandle &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    sqlite3 *db() const { return m_db; }

    // Steps once: true on a row, false when done. Throws the library's message.
    bool step() const;
    void bind(int position, const Value &value) const;
    // Resets and clears the bindings; the statement holds no lock afterwards.
    void reset() const;

private:
    int bindValue(int position, const Value &value) const;
    int bindText(int position, const QString &text) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

// A column's declared type names a date or a time: its values are date-times.
bool isDateTimeType(const char *declaredType);
QString textOf(sqlite3_stmt *stmt, int column);
// The value of a column of the current row. In a date-time column, an ISO text is a date-time,
// and so is a number, as SQLite's date functions read it: a Julian day number.
Value columnValueOf(sqlite3_stmt *stmt, int column, bool dateTimeColumn);

class SqliteStatement : public Statement
{
public:
    SqliteStatement(sqlite3 *db, const QString &sql);

    void execute(const std::vector<Value> &params) override;
    bool fetch() override;
    int columnCount() const override;
    QString columnName(int column) const override;
    Value columnValue(int column) const override;
    long long rowsAffected() const override { return m_rowsAffected; }

private:
    bool stepOrFinish();

    StatementHandle m_handle;
    std::vector<bool> m_dateTimeColumns;
    bool m_firstRowWaiting = false;
    bool m_onRow = false;
    long long m_rowsAffected = 0;
};

} // namespace zarn::dal::sqlite
