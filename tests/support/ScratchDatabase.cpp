#include "support/ScratchDatabase.h"

#include "platform/dal/Provider.h"
#include "platform/dal/Recordset.h"
#include "support/TestDatabases.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <atomic>
#include <stdexcept>

namespace zarn::test {

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

QString postgresqlAddress()
{
    const QString host = qEnvironmentVariable("ZARN_TEST_PG_HOST");
    const QString port = qEnvironmentVariable("ZARN_TEST_PG_PORT");
    if (host.isEmpty() || port.isEmpty())
        fail(QStringLiteral("ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT must name the PostgreSQL "
                            "server for the tests."));
    return host + QLatin1Char(':') + port;
}

QString uniqueDatabaseName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("zarn_scratch_%1_%2_%3")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// Runs one statement on the server's maintenance database as the superuser.
void runAsSuperuser(const QString &serverAddress, const QString &sql)
{
    dal::Connection connection;
    connection.setConnectionString(
        QStringLiteral("Provider=PostgreSQL;Data Source=%1/postgres;User ID=postgres")
            .arg(serverAddress));
    connection.Open();
    connection.Execute(sql);
    connection.Close();
}

} // namespace

ScratchDatabase::ScratchDatabase()
    : m_onSqlite(serverUnderTest() == QLatin1String("sqlite")),
      m_overOdbc(serverUnderTest() == QLatin1String("odbc"))
{
    if (m_onSqlite) {
        createSqlite();
        return;
    }
    createPostgresql();
    if (m_overOdbc)
        useOdbc();
}

ScratchDatabase::~ScratchDatabase()
{
    if (!m_onSqlite) {
        try {
            dropPostgresql();
        } catch (const std::exception &) {
            // A database left behind dies with the throw-away server.
        }
    }
}

QString ScratchDatabase::missingDatabaseConnectionString(const QString &password) const
{
    if (m_onSqlite)
        return QStringLiteral("Provider=SQLite;Data Source=%1;Password=%2")
            .arg(m_folder.filePath(QStringLiteral("missing.db")), password);
    if (m_overOdbc)
        return QStringLiteral("Provider=ODBC;Data Source=%1;Initial Catalog=zarn_missing;"
                              "User ID=postgres;Password=%2")
            .arg(m_odbcDataSource, password);
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=zarn_missing;"
                          "User ID=postgres;Password=%2")
        .arg(m_serverAddress, password);
}

void ScratchDatabase::open(dal::Connection &connection) const
{
    connection.setConnectionString(m_connectionString);
    connection.Open();
}

// ---------------------------------------------------------------------------------------------
// What differs between the servers.

QString ScratchDatabase::autoKeyColumn() const
{
    return m_onSqlite ? QStringLiteral("INTEGER PRIMARY KEY")
                      : QStringLiteral("SERIAL PRIMARY KEY");
}

void ScratchDatabase::createProcedure(dal::Connection &connection, const QString &name,
                                      const QString &sqliteBody,
                                      const QString &postgresqlDefinition) const
{
    if (m_onSqlite) {
        connection.provider().executeScript(
            QStringLiteral("CREATE TABLE IF NOT EXISTS stored_procedures"
                           "(name TEXT PRIMARY KEY, body TEXT NOT NULL)"));
        connection.Execute(
            QStringLiteral("INSERT INTO stored_procedures (name, body) VALUES (?, ?)"),
            {Value(name), Value(sqliteBody)});
    } else {
        connection.provider().executeScript(postgresqlDefinition);
    }
}

void ScratchDatabase::createSqlite()
{
    if (!m_folder.isValid())
        fail(QStringLiteral("No temporary folder for the scratch database."));
    // SQLite takes an empty file for an empty database.
    const QString path = m_folder.filePath(QStringLiteral("scratch.db"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot create %1.").arg(path));
    file.close();
    m_connectionString = QStringLiteral("Provider=SQLite;Data Source=%1").arg(path);
}

void ScratchDatabase::createPostgresql()
{
    m_serverAddress = postgresqlAddress();
    m_postgresqlName = uniqueDatabaseName();
    runAsSuperuser(m_serverAddress, QStringLiteral("CREATE DATABASE %1").arg(m_postgresqlName));
    m_connectionString =
        QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=postgres")
            .arg(m_serverAddress, m_postgresqlName);
}

// The scratch database through the ODBC data source; created and dropped as on PostgreSQL.
void ScratchDatabase::useOdbc()
{
    m_odbcDataSource = odbcTestDataSource();
    m_connectionString =
        QStringLiteral("Provider=ODBC;Data Source=%1;Initial Catalog=%2;User ID=postgres")
            .arg(m_odbcDataSource, m_postgresqlName);
}

void ScratchDatabase::dropPostgresql()
{
    runAsSuperuser(m_serverAddress,
                   QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_postgresqlName));
}

} // namespace zarn::test
