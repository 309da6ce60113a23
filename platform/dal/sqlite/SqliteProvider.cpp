#include "platform/dal/sqlite/SqliteProvider.h"

#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/sqlite/SqliteDateTime.h"
#include "platform/dal/sqlite/SqliteProcedureCall.h"
#include "platform/dal/sqlite/SqliteStatement.h"

#include <QDir>
#include <QFileInfo>
#include <climits>
#include <map>
#include <sqlite3.h>

namespace zarn::dal {

namespace {

using sqlite::messageOf;
using sqlite::prepareProcedureCall;
using sqlite::run;
using sqlite::SqliteStatement;

class SqliteProvider : public Provider
{
public:
    ~SqliteProvider() override { close(); }

    void open(const ConnectionOptions &options) override
    {
        const QString path = databaseFile(options);
        const QString shownPath = withoutPasswords(QDir::toNativeSeparators(path), options);
        if (!QFileInfo(path).isFile())
            throw DatabaseError(
                QStringLiteral("The database file \"%1\" does not exist.").arg(shownPath));
        sqlite3 *db = nullptr;
        const int rc =
            sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            const QString message = db ? messageOf(db) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close_v2(db);
            throw DatabaseError(QStringLiteral("The database file \"%1\" cannot be opened: %2")
                                    .arg(shownPath, message));
        }
        m_db = db;
        try {
            configure(options);
        } catch (const DatabaseError &error) {
            close();
            throw DatabaseError(QStringLiteral("The database file \"%1\" cannot be used: %2")
                                    .arg(shownPath, error.description()));
        }
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

    // The Data Source is the database file, or a folder that holds one file per catalog.
    static QString databaseFile(const ConnectionOptions &options)
    {
        const QString dataSource = options.value(QStringLiteral("Data Source"));
        if (dataSource.isEmpty())
            throw DatabaseError(QStringLiteral("The connection string names no Data Source."));
        if (!QFileInfo(dataSource).isDir())
            return dataSource;
        QString catalog = options.value(QStringLiteral("Initial Catalog"));
        if (catalog.isEmpty())
            catalog = options.value(QStringLiteral("User ID"));
        if (catalog.isEmpty())
            throw DatabaseError(QStringLiteral("The connection string names the folder \"%1\" but "
                                               "no catalog in it.")
                                    .arg(QDir::toNativeSeparators(dataSource)));
        // A catalog is a file of the folder, never a path that leads elsewhere.
        if (catalog.contains(QLatin1Char('/')) || catalog.contains(QLatin1Char('\\')) ||
            catalog.contains(QLatin1Char(':')) || catalog.startsWith(QLatin1Char('.')))
            throw DatabaseError(QStringLiteral("The catalog name \"%1\" is not a plain name.")
                                    .arg(withoutPasswords(catalog, options)));
        return QDir(dataSource).filePath(catalog + QStringLiteral(".db"));
    }

    void configure(const ConnectionOptions &options)
    {
        const int timeoutMs = options.commandTimeout > 0 && options.commandTimeout < INT_MAX / 1000
                                  ? options.commandTimeout * 1000
                                  : INT_MAX;
        sqlite3_busy_timeout(m_db, timeoutMs);
        // WAL lets one writer and readers work without blocking each other.
        run(m_db, QStringLiteral("PRAGMA journal_mode=WAL"));
        // 16 MB of pages, so that a group of writes spread over thousands of variables keeps
        // the index pages it dirties in memory until its commit.
        run(m_db, QStringLiteral("PRAGMA cache_size=-16384"));
        sqlite::registerDateTimeFunctions(m_db);
    }

    sqlite3 *m_db = nullptr;
};

} // namespace

std::unique_ptr<Provider> createSqliteProvider()
{
    return std::make_unique<SqliteProvider>();
}

} // namespace zarn::dal
