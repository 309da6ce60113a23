#include "platform/dal/Recordset.h"
#include "support/OdbcDataSources.h"
#include "support/OwnPostgresServer.h"
#include "support/ServerContext.h"

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

// A database with a unique name, made and dropped by the superuser; reached directly or through
// the ODBC data source of the same server.
class PostgresDatabase : public ServerContext::Database
{
public:
    explicit PostgresDatabase(bool throughOdbc)
        : m_serverAddress(postgresqlAddress()), m_name(uniqueDatabaseName()),
          m_odbcDataSource(throughOdbc ? odbcTestDataSource() : QString())
    {
        runAsSuperuser(m_serverAddress, QStringLiteral("CREATE DATABASE %1").arg(m_name));
    }

    ~PostgresDatabase() override
    {
        try {
            runAsSuperuser(m_serverAddress,
                           QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
        } catch (const std::exception &) {
            // A database left behind dies with the throw-away server.
        }
    }

    QString connectionString() const override { return connectionStringOf(m_name, QString()); }

    QString missingDatabaseConnectionString(const QString &password) const override
    {
        return connectionStringOf(QStringLiteral("zarn_missing"), password);
    }

private:
    QString connectionStringOf(const QString &database, const QString &password) const
    {
        const QString login =
            password.isNull() ? QString() : QStringLiteral(";Password=") + password;
        if (!m_odbcDataSource.isEmpty())
            return QStringLiteral("Provider=ODBC;Data Source=%1;Initial Catalog=%2;"
                                  "User ID=postgres%3")
                .arg(m_odbcDataSource, database, login);
        return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;"
                              "User ID=postgres%3")
            .arg(m_serverAddress, database, login);
    }

    QString m_serverAddress;
    QString m_name;
    QString m_odbcDataSource;
};

class PostgresContext : public ServerContext
{
public:
    explicit PostgresContext(bool throughOdbc) : m_throughOdbc(throughOdbc) {}

    std::unique_ptr<Database> createDatabase() const override
    {
        return std::make_unique<PostgresDatabase>(m_throughOdbc);
    }

    // Through ODBC the driver hands names to the server unfolded, so they go as written.
    std::unique_ptr<schema::StandInServer> makeStandIn(const QString &) const override
    {
        const QStringList address = postgresqlAddress().split(QLatin1Char(':'));
        schema::PostgresSetUp setUp;
        if (m_throughOdbc) {
            setUp.namesAsWritten = true;
            setUp.odbcDataSource = odbcTestDataSource();
        }
        return schema::StandInServer::postgresql(address[0], address[1].toInt(), setUp);
    }

    // As the superuser, who logs on from this machine without a password.
    OwnTestServer startOwnServer() const override
    {
        auto server = std::make_unique<OwnPostgresServer>();
        const QString connectionString =
            m_throughOdbc ? QStringLiteral("Provider=ODBC;Data Source=%1;User ID=postgres")
                                .arg(ownPostgresDataSource(server->host(), server->port()))
                          : QStringLiteral("Provider=PostgreSQL;Data Source=%1:%2;User ID=postgres")
                                .arg(server->host(), server->port());
        return {std::move(server), connectionString};
    }

    // The connection's backend, and the postmaster, which starts the backends of new ones.
    std::vector<pid_t> processesServing(dal::Connection &connection,
                                        const OwnServer &server) const override
    {
        const Value backend =
            connection.Execute(QStringLiteral("SELECT pg_backend_pid()")).Fields(0).Value();
        return {static_cast<pid_t>(backend.toInt32()), server.serverProcess()};
    }

    // The backend ends, and the call waits for it to be gone.
    void endConnection(dal::Connection &connection, dal::Connection &other) const override
    {
        const Value backend =
            connection.Execute(QStringLiteral("SELECT pg_backend_pid()")).Fields(0).Value();
        other.Execute(QStringLiteral("SELECT pg_terminate_backend(?, 10000)"), {backend});
    }

    QString autoKeyColumn() const override { return QStringLiteral("SERIAL PRIMARY KEY"); }
    QString dateTimeColumn() const override { return QStringLiteral("TIMESTAMP"); }

    const QString &ownText(const DialectTexts &texts) const override { return texts.postgresql; }

    QString defaultSchemaOf(dal::Connection &) const override { return QStringLiteral("public"); }

    bool useNewSchema(dal::Connection &connection, const QString &schema) const override
    {
        connection.Execute(QStringLiteral("CREATE SCHEMA %1").arg(schema));
        connection.Execute(QStringLiteral("SET search_path TO %1").arg(schema));
        return true;
    }

    void holdAgainstWriters(dal::Connection &connection, const QStringList &tables) const override
    {
        connection.Execute(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE")
                               .arg(tables.join(QStringLiteral(", "))));
    }

    std::unique_ptr<dal::Connection> blockReadsOf(const QString &connectionString,
                                                  const QString &table) const override
    {
        auto connection = std::make_unique<dal::Connection>();
        connection->setConnectionString(connectionString);
        connection->Open();
        connection->provider().beginTransaction();
        connection->Execute(QStringLiteral("LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE").arg(table));
        return connection;
    }

private:
    bool m_throughOdbc;
};

} // namespace

std::unique_ptr<ServerContext> makePostgresContext(bool throughOdbc)
{
    return std::make_unique<PostgresContext>(throughOdbc);
}

} // namespace zarn::test
