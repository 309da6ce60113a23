#include "platform/dal/sqlite/SqliteSession.h"

#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/sqlite/SqliteDateTime.h"

#include <QDir>
#include <QFileInfo>
#include <climits>
#include <sqlite3.h>

namespace zarn::dal::sqlite {

namespace {

// The Data Source is the database file, or a folder that holds one file per catalog.
QString databaseFile(const ConnectionOptions &options)
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

void configure(sqlite3 *db, const ConnectionOptions &options)
{
    const int timeoutMs = options.commandTimeout > 0 && options.commandTimeout < INT_MAX / 1000
                              ? options.commandTimeout * 1000
                              : INT_MAX;
    sqlite3_busy_timeout(db, timeoutMs);
    // Failures carry the library's extended codes (a unique key, a full disk, ...).
    sqlite3_extended_result_codes(db, 1);
    // WAL lets one writer and readers work without blocking each other.
    run(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    // 16 MB of pages, so that a group of writes spread over thousands of variables keeps the
    // index pages it dirties in memory until its commit.
    run(db, QStringLiteral("PRAGMA cache_size=-16384"));
    registerDateTimeFunctions(db);
}

} // namespace

const SqlDialect &sqliteDialect()
{
    static const SqlDialect dialect;
    return dialect;
}

sqlite3 *openDatabase(const ConnectionOptions &options)
{
    const QString path = databaseFile(options);
    const QString shownPath = withoutPasswords(QDir::toNativeSeparators(path), options);
    if (!QFileInfo(path).isFile())
        throw DatabaseError(
            QStringLiteral("The database file \"%1\" does not exist.").arg(shownPath));
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? messageOf(db) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw DatabaseError(QStringLiteral("The database file \"%1\" cannot be opened: %2")
                                .arg(shownPath, message));
    }
    try {
        configure(db, options);
    } catch (const DatabaseError &error) {
        sqlite3_close_v2(db);
        throw DatabaseError(QStringLiteral("The database file \"%1\" cannot be used: %2")
                                .arg(shownPath, error.description()));
    }
    return db;
}

QString messageOf(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

void raise(int rc, const QString &message)
{
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw TimeoutError(message, QString(), rc);
    throw DatabaseError(message, QString(), rc);
}

void run(sqlite3 *db, const QString &sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        raise(rc, messageOf(db));
}

} // namespace zarn::dal::sqlite
