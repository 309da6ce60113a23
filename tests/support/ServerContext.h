#pragma once

#include "platform/dal/Connection.h"
#include "schema/StandIn.h"
#include "support/OwnServer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace zarn::test {

// A test's SQL text in each server's own dialect; the server under test takes its own.
struct DialectTexts
{
    QString sqlite;
    QString postgresql;
    QString mariadb;
};

// Everything that differs between the servers the database tests run on, one context per
// server: how to make a database of a test's own, a stored procedure, a lock and a stand-in ZARN
// server, and which SQL the server speaks. The suites ask the context of the server under test
// (serverContext()) instead of asking which server it is, so that a new server is a new context.
class ServerContext
{
public:
    // An empty database of a test's own on the server, dropped with the object.
    class Database
    {
    public:
        virtual ~Database() = default;
        virtual QString connectionString() const = 0;
        // The connection string of a database on the same server that does not exist, with
        // the given password.
        virtual QString missingDatabaseConnectionString(const QString &password) const = 0;
    };

    // A server of a test's own, of the kind under test, for faults that must leave the shared
    // test server alone, and the connection string of its default database.
    struct OwnTestServer
    {
        std::unique_ptr<OwnServer> server;
        QString connectionString;
    };

    virtual ~ServerContext() = default;

    virtual std::unique_ptr<Database> createDatabase() const = 0;
    // A stand-in ZARN server whose catalogs and source databases the server holds (on SQLite,
    // files in folder).
    virtual std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder) const = 0;
    // Throws std::runtime_error where the server under test is no server of its own (SQLite).
    virtual OwnTestServer startOwnServer() const = 0;
    // The processes of a server of the test's own that serve the open connection to it, with
    // the one that takes new connections: stopped, the server answers that connection nothing,
    // nor any new one.
    virtual std::vector<pid_t> processesServing(dal::Connection &connection,
                                                const OwnServer &server) const = 0;
    // Ends the connection from the server's side, as an administrator would, asking through
    // `other` (a connection to the same server) where its user may; returns once the server
    // has let it go. Throws std::runtime_error where there is no server (SQLite).
    virtual void endConnection(dal::Connection &connection, dal::Connection &other) const = 0;

    // The column definition of an integer primary key that the database assigns.
    virtual QString autoKeyColumn() const = 0;
    // The type of a date-time column that keeps milliseconds.
    virtual QString dateTimeColumn() const = 0;
    // The type of a text column of any length.
    virtual QString longTextColumn() const { return QStringLiteral("text"); }
    // Whether a column keeps a value of any kind, whatever its declared type.
    virtual bool columnsKeepAnyKind() const { return false; }
    // Whether the server keeps ±Infinity as a value.
    virtual bool keepsInfinity() const { return true; }
    // Whether a catalog is reached with its name as the user (database type 1) on the stand-in.
    virtual bool reachesCatalogsAsUsers() const { return false; }
    // The files that hold a stand-in catalog, as bytes; none where the server keeps no files.
    virtual QByteArray catalogFileBytes(const schema::StandInServer & /*server*/,
                                        const QString & /*catalog*/) const
    {
        return {};
    }

    // The schema in which the connection finds unqualified names, as it opened.
    virtual QString defaultSchemaOf(dal::Connection &connection) const = 0;
    // Makes the schema and lets the connection make and find unqualified names there; false
    // where the server has no schemas but its databases.
    virtual bool useNewSchema(dal::Connection & /*connection*/, const QString & /*schema*/) const
    {
        return false;
    }

    // The text written for this server.
    virtual const QString &ownText(const DialectTexts &texts) const = 0;
    // The expressions' texts joined into one text.
    virtual QString concatenated(const QStringList &expressions) const
    {
        return expressions.join(QStringLiteral(" || "));
    }
    // Runs the script written for this server on the open connection.
    void runOwnScript(dal::Connection &connection, const DialectTexts &scripts) const;
    // Creates a stored procedure from its definition in this server's dialect (on SQLite, the
    // body that the SQLite provider runs for it).
    virtual void createProcedure(dal::Connection &connection, const QString &name,
                                 const DialectTexts &definitions) const;

    // Inside the connection's open transaction, holds the tables against other writers until
    // the transaction ends: readers go on, writers wait.
    virtual void holdAgainstWriters(dal::Connection &connection,
                                    const QStringList &tables) const = 0;
    // Makes every read of the table through another connection fail (or wait past any command
    // time-out) for as long as the returned connection lives.
    virtual std::unique_ptr<dal::Connection> blockReadsOf(const QString &connectionString,
                                                          const QString &table) const = 0;
};

// The context of the server under test (ZARN_TEST_SERVER: "sqlite" when unset, "postgresql",
// "odbc" for the PostgreSQL server through its ODBC driver, "mariadb" for the MariaDB server
// through its ODBC driver). Throws std::runtime_error for any other value, and where the server's
// address or driver is not given: a server run never passes by skipping.
const ServerContext &serverContext();

// A database name that no other test process or scratch database of this one takes.
QString uniqueDatabaseName();

// The contexts, one per server.
std::unique_ptr<ServerContext> makeSqliteContext();
std::unique_ptr<ServerContext> makePostgresContext(bool throughOdbc);
std::unique_ptr<ServerContext> makeMariadbContext();

} // namespace zarn::test
