#pragma once

#include "platform/dal/Connection.h"
#include "support/ServerContext.h"

#include <QString>
#include <memory>

namespace zarn::test {

// An empty database of its own for one test on the server under test, dropped at the end:
// made by the server's context (serverContext()), which also knows how to write its columns and
// procedures. Construction fails where the server's address or driver is not given.
class ScratchDatabase
{
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    // The connection string of the scratch database.
    QString connectionString() const { return m_database->connectionString(); }
    // The connection string of a database on the same server that does not exist, with the
    // given password.
    QString missingDatabaseConnectionString(const QString &password) const
    {
        return m_database->missingDatabaseConnectionString(password);
    }
    // Sets the connection string on the connection and opens it.
    void open(dal::Connection &connection) const;

    // The column definition of an integer primary key that the database assigns.
    QString autoKeyColumn() const { return serverContext().autoKeyColumn(); }
    // The type of a date-time column that keeps milliseconds.
    QString dateTimeColumn() const { return serverContext().dateTimeColumn(); }
    // Creates a stored procedure from its definition in the server's dialect.
    void createProcedure(dal::Connection &connection, const QString &name,
                         const DialectTexts &definitions) const
    {
        serverContext().createProcedure(connection, name, definitions);
    }

private:
    std::unique_ptr<ServerContext::Database> m_database;
};

} // namespace zarn::test
