#include "platform/dal/Recordset.h"
#include "schema/Scripts.h"
#include "support/OdbcDataSources.h"
#include "support/OwnMariadbServer.h"
#include "support/ServerContext.h"

#include <QCoreApplication>

namespace zarn::test {

namespace {

// Runs one statement as the account root, which logs on from this machine without a password.
void runAsRoot(const QString &sql)
{
    dal::Connection connection;
    connection.setConnectionString(
        QStringLiteral("Provider=ODBC;Data Source=%1;User ID=root").arg(mariadbTestDataSource()));
    connection.Open();
    connection.provider().executeScript(sql);
    connection.Close();
}

// A database with a unique name, made and dropped by root and reached as root.
class MariadbDatabase : public ServerContext::Database
{
public:
    MariadbDatabase() : m_name(uniqueDatabaseName())
    {
        runAsRoot(QStringLiteral("CREATE DATABASE %1").arg(m_name));
    }

    ~MariadbDatabase() override
    {
        try {
            runAsRoot(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name));
        } catch (const std::exception &) {
            // A database left behind dies with the throw-away server.
        }
    }

    QString connectionString() const override
    {
        return QStringLiteral("Provider=ODBC;Data Source=%1;Initial Catalog=%2;User ID=root")
            .arg(mariadbTestDataSource(), m_name);
    }

    // Root logs on without a password, so the missing database is asked for by an account
    // whose password is the given one.
    QString missingDatabaseConnectionString(const QString &password) const override
    {
        const QString user =
            QStringLiteral("zarn_login_%1").arg(QCoreApplication::applicationPid());
        runAsRoot(QStringLiteral("CREATE OR REPLACE USER '%1'@'%' IDENTIFIED BY '%2'")
                      .arg(user, QString(password).replace(u'\'', QStringLiteral("''"))));
        return QStringLiteral("Provider=ODBC;Data Source=%1;Initial Catalog=zarn_missing;"
                              "User ID=%2;Password=%3")
            .arg(mariadbTestDataSource(), user, password);
    }

private:
    QString m_name;
};

class MariadbContext : public ServerContext
{
public:
    MariadbContext()
    {
        schema::setOdbcDataSourceKind(mariadbTestDataSource(), schema::ServerKind::MariaDB);
    }

    std::unique_ptr<Database> createDatabase() const override
    {
        return std::make_unique<MariadbDatabase>();
    }

    std::unique_ptr<schema::StandInServer> makeStandIn(const QString &) const override
    {
        return schema::StandInServer::mariadb(mariadbTestDataSource());
    }

    OwnTestServer startOwnServer() const override
    {
        auto server = std::make_unique<OwnMariadbServer>();
        const QString connectionString =
            QStringLiteral("Provider=ODBC;Data Source=%1;User ID=root").arg(server->dataSource());
        return {std::move(server), connectionString};
    }

    // One process serves every connection.
    std::vector<pid_t> processesServing(dal::Connection &, const OwnServer &server) const override
    {
        return {server.serverProcess()};
    }

    // KILL shuts the connection's socket down at once; root may end any user's connection.
    void endConnection(dal::Connection &connection, dal::Connection &) const override
    {
        const Value id =
            connection.Execute(QStringLiteral("SELECT CONNECTION_ID()")).Fields(0).Value();
        runAsRoot(QStringLiteral("KILL CONNECTION %1").arg(id.toDouble(), 0, 'f', 0));
    }

    QString autoKeyColumn() const override
    {
        return QStringLiteral("INTEGER AUTO_INCREMENT PRIMARY KEY");
    }
    QString dateTimeColumn() const override { return QStringLiteral("DATETIME(3)"); }
    QString longTextColumn() const override { return QStringLiteral("LONGTEXT"); }
    bool keepsInfinity() const override { return false; }

    const QString &ownText(const DialectTexts &texts) const override { return texts.mariadb; }
    // A schema is a database.
    QString defaultSchemaOf(dal::Connection &connection) const override
    {
        return connection.Execute(QStringLiteral("SELECT DATABASE()")).Fields(0).Value().toText();
    }

    // "||" is the logical OR in the server's default mode.
    QString concatenated(const QStringList &expressions) const override
    {
        return QStringLiteral("CONCAT(%1)").arg(expressions.join(QStringLiteral(", ")));
    }

    // Every row and the gaps between them locked for update: inserts, changes and deletions
    // wait, plain reads do not.
    void holdAgainstWriters(dal::Connection &connection, const QStringList &tables) const override
    {
        for (const QString &table : tables)
            connection.Execute(QStringLiteral("SELECT 1 FROM %1 FOR UPDATE").arg(table));
    }

    // A table locked for writing keeps every other connection's reads waiting.
    std::unique_ptr<dal::Connection> blockReadsOf(const QString &connectionString,
                                                  const QString &table) const override
    {
        auto connection = std::make_unique<dal::Connection>();
        connection->setConnectionString(connectionString);
        connection->Open();
        connection->Execute(QStringLiteral("LOCK TABLES %1 WRITE").arg(table));
        return connection;
    }
};

} // namespace

std::unique_ptr<ServerContext> makeMariadbContext()
{
    return std::make_unique<MariadbContext>();
}

} // namespace zarn::test
