#pragma once

#include "platform/Value.h"
#include "platform/dal/Provider.h"

#include <QString>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The statements of the SQLite provider: one prepared statement of the library, and the
// Statement the database access layer runs.
namespace zarn::dal::sqlite {

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
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

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
