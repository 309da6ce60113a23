#pragma once

#include "platform/dal/Connection.h"

#include <QString>
#include <QTemporaryDir>

namespace zarn::test {

// An empty database of its own for one test on the server under test (serverUnderTest() of
// TestDatabases.h), dropped at the end.
// SQLite: an empty file in a temporary folder. PostgreSQL: a database with a unique name on the
// server that ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT name; without them, construction fails.
// ODBC (ZARN_TEST_SERVER=odbc): such a PostgreSQL database,
// reached through the ODBC driver that ZARN_TEST_ODBC_DRIVER names, by a data source that a
// temporary odbc.ini of the test process defines.
class ScratchDatabase
{
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    // The connection string of the scratch database.
    const QString &connectionString() const { return m_connectionString; }
    // The connection string of a database on the same server that does not exist, with the
    // given password.
    QString missingDatabaseConnectionString(const QString &password) const;
    // Sets the connection string on the connection and opens it.
    void open(dal::Connection &connection) const;

    // --- What differs between the servers (the test texts of both stand side by side) ---

    // The column definition of an integer primary key that the database assigns.
    QString autoKeyColumn() const;
    // Creates a stored procedure: on SQLite a row of stored_procedures with sqliteBody; on
    // PostgreSQL, directly or through ODBC, by running postgresqlDefinition (CREATE FUNCTION).
    void createProcedure(dal::Connection &connection, const QString &name,
                         const QString &sqliteBody, const QString &postgresqlDefinition) const;

private:
    void createSqlite();
    void createPostgresql();
    void dropPostgresql();

    void useOdbc();

    bool m_onSqlite;
    bool m_overOdbc; // PostgreSQL through its ODBC driver
    QTemporaryDir m_folder;
    QString m_connectionString;
    QString m_serverAddress;  // PostgreSQL: host:port
    QString m_odbcDataSource; // ODBC: the data source name
    QString m_postgresqlName; // PostgreSQL: the scratch database
};

} // namespace zarn::test
