#include "platform/dal/sqlite/SqliteProvider.h"

#include "platform/Error.h"
#include "platform/dal/sqlite/SqliteDateTime.h"
#include "platform/dal/sqlite/SqliteProcedureCall.h"
#include "platform/dal/sqlite/SqliteSession.h"
#include "platform/dal/sqlite/SqliteStatement.h"

#include <map>
#include <sqlite3.h>

namespace zarn::dal {

namespace {

using sqlite::openDatabase;
using sqlite::prepareProcedureCall;
using sqlite::run;
using sqlite::SqliteStatement;

class SqliteProvider : public Provider
{
public:
    ~SqliteProvider() override { close(); }

    void open(const ConnectionOptions &options) override
    {
        close();
        m_db = openDatabase(options);
    }

    void close() override
    {
        // Statements still held by commands or record sets keep the library's connection
        // alive until they are finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

    std::unique_ptr<Statement> prepare(const QString &sql) override
    {
        return std::make_unique<SqliteStatement>(db(), sql);
    }

    // A statement stepped row by row holds only the current row, and other statements may
    // run on the connection meanwhile.
    std::unique_ptr<Statement> prepareCursor(const QString &sql) override { return prepare(sql); }

    std::unique_ptr<ProcedureCall>
    prepareProcedure(const QString &name, const std::vector<Parameter> &parameters) override
    {
        return prepareProcedureCall(db(), name, parameters);
    }

    void executeScript(const QString &sql) override { run(db(), sql); }

    QString quoteIdentifier(const QString &name) const override
    {
        QString quoted = name;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    }

    const SqlDialect &sqlDialect() const override { return sqlite::sqliteDialect(); }

    QStringList primaryKey(const QString &table) override
    {
        SqliteStatement info(db(),
                             QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table)));
        info.execute({});
        std::map<int, QString> keyColumns; // position in the key -> column
        while (info.fetch()) {
            const int position = info.columnValue(5).toInt32();
            if (position > 0)
                keyColumns[position] = info.columnValue(1).toText();
        }
        QStringList key;
        for (const auto &[position, column] : keyColumns)
            key.append(column);
        return key;
    }

    // A transaction that writes takes the write lock at its start: a deferred one that has read
    // cannot wait for the lock (SQLite reports busy at once, whatever the busy time-out).
    void beginTransaction() override { run(db(), QStringLiteral("BEGIN IMMEDIATE")); }
    void commit() override { run(db(), QStringLiteral("COMMIT")); }
    void rollback() override { run(db(), QStringLiteral("ROLLBACK")); }

    QString dateTimeBetween(const QString &column) const override
    {
        return sqlite::dateTimeBetween(column);
    }

    void beginReadSnapshot() override
    {
        // A deferred transaction takes its snapshot at its first read.
        run(db(), QStringLiteral("BEGIN"));
        try {
            run(db(), QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
        } catch (...) {
            run(db(), QStringLiteral("ROLLBACK"));
            throw;
        }
    }

private:
    sqlite3 *db() const
    {
        if (m_db == nullptr)
            throw DatabaseError(QStringLiteral("The connection is closed."));
        return m_db;
    }

    sqlite3 *m_db = nullptr;
};

} // namespace

std::unique_ptr<Provider> createSqliteProvider()
{
    return std::make_unique<SqliteProvider>();
}

} // namespace zarn::dal
