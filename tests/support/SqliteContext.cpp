#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"
#include "support/ServerContext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <stdexcept>

namespace zarn::test {

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

// A file of its own in a temporary folder; SQLite takes an empty file for an empty database.
class SqliteDatabase : public ServerContext::Database
{
public:
    SqliteDatabase()
    {
        if (!m_folder.isValid())
            fail(QStringLiteral("No temporary folder for the scratch database."));
        const QString path = m_folder.filePath(QStringLiteral("scratch.db"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            fail(QStringLiteral("Cannot create %1.").arg(path));
    }

    QString connectionString() const override
    {
        return QStringLiteral("Provider=SQLite;Data Source=%1")
            .arg(m_folder.filePath(QStringLiteral("scratch.db")));
    }

    QString missingDatabaseConnectionString(const QString &password) const override
    {
        return QStringLiteral("Provider=SQLite;Data Source=%1;Password=%2")
            .arg(m_folder.filePath(QStringLiteral("missing.db")), password);
    }

private:
    QTemporaryDir m_folder;
};

class SqliteContext : public ServerContext
{
public:
    std::unique_ptr<Database> createDatabase() const override
    {
        return std::make_unique<SqliteDatabase>();
    }

    std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder) const override
    {
        return schema::StandInServer::sqlite(folder);
    }

    OwnTestServer startOwnServer() const override
    {
        throw std::runtime_error("SQLite runs in the test's own process: it has no server");
    }

    std::vector<pid_t> processesServing(dal::Connection &, const OwnServer &) const override
    {
        return {};
    }

    void endConnection(dal::Connection &, dal::Connection &) const override
    {
        throw std::runtime_error("an embedded database has no connection to end");
    }

    QString autoKeyColumn() const override { return QStringLiteral("INTEGER PRIMARY KEY"); }
    QString dateTimeColumn() const override { return QStringLiteral("TIMESTAMP"); }
    bool columnsKeepAnyKind() const override { return true; }
    // The user names the catalog's file.
    bool reachesCatalogsAsUsers() const override { return true; }

    QByteArray catalogFileBytes(const schema::StandInServer &server,
                                const QString &catalog) const override
    {
        QByteArray bytes;
        const QString base = QDir(server.zarnDataSource()).filePath(catalog + ".db");
        for (const QString &path : {base, base + QStringLiteral("-wal")}) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                bytes += path.toUtf8() + ':' + file.readAll();
        }
        return bytes;
    }

    QString defaultSchemaOf(dal::Connection &) const override { return QStringLiteral("main"); }

    const QString &ownText(const DialectTexts &texts) const override { return texts.sqlite; }

    // A row of stored_procedures holds the body that the provider runs for the procedure.
    void createProcedure(dal::Connection &connection, const QString &name,
                         const DialectTexts &definitions) const override
    {
        connection.provider().executeScript(
            QStringLiteral("CREATE TABLE IF NOT EXISTS stored_procedures"
                           "(name TEXT PRIMARY KEY, body TEXT NOT NULL)"));
        connection.Execute(
            QStringLiteral("INSERT INTO stored_procedures (name, body) VALUES (?, ?)"),
            {Value(name), Value(definitions.sqlite)});
    }

    // A write, even of no row, takes the file's write lock until the transaction ends.
    void holdAgainstWriters(dal::Connection &connection, const QStringList &tables) const override
    {
        connection.Execute(QStringLiteral("DELETE FROM %1 WHERE 1=0").arg(tables.value(0)));
    }

    // A writer never blocks SQLite's readers: the table goes missing instead.
    std::unique_ptr<dal::Connection> blockReadsOf(const QString &connectionString,
                                                  const QString &table) const override
    {
        auto connection = std::make_unique<dal::Connection>();
        connection->setConnectionString(connectionString);
        connection->Open();
        connection->Execute(QStringLiteral("ALTER TABLE %1 RENAME TO %1_AWAY").arg(table));
        return connection;
    }
};

} // namespace

std::unique_ptr<ServerContext> makeSqliteContext()
{
    return std::make_unique<SqliteContext>();
}

} // namespace zarn::test
