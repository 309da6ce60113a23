#pragma once

#include "platform/dal/Provider.h"
#include "platform/dal/SqlLexer.h"

#include <QString>
#include <QStringList>

// The SQL of the server behind an ODBC data source, as far as the provider forms statements of
// its own: learnt once per connection from what the driver says of its server (SQLGetInfo).
namespace zarn::dal::odbc {

// What the driver says of its server.
struct ServerInfo
{
    QString dbmsName;    // SQL_DBMS_NAME, as "PostgreSQL", "MariaDB", "Microsoft SQL Server"
    QString dbmsVersion; // SQL_DBMS_VER, as "10.11.000019"
    QString identifierQuote;
    unsigned short identifierCase = 0; // SQL_IDENTIFIER_CASE
};

class Dialect
{
public:
    Dialect() = default;
    explicit Dialect(const ServerInfo &server);

    // How the server's texts quote and comment, as far as the driver tells.
    const SqlDialect &sqlDialect() const { return m_sqlDialect; }

    // The name as the server stores an unquoted name: a quoted [Name] must find the same
    // object as the unquoted name does.
    QString folded(const QString &name) const;
    // The folded name quoted; as it stands where the server quotes no names.
    QString quoted(const QString &name) const;
    // The SQL text with each [Name] outside literals, quoted names and comments quoted by the
    // server's rules; "?" placeholders are ODBC's own and stay.
    QString translated(const QString &sql) const;

    // The statements of a record set's row writes: with the row returned where the server's
    // INSERT or UPDATE can give it (RETURNING, or OUTPUT INSERTED.* in SQL Server's dialect,
    // which no server of the tests speaks: only the text it forms is tested).
    RowWriteStatement insertRow(const QString &table, const QStringList &columns) const;
    RowWriteStatement updateRow(const QString &table, const QStringList &columns,
                                const QString &condition) const;
    // The query that gives the key the server assigned to the connection's last inserted row;
    // empty where the server has none that the provider knows.
    const QString &lastInsertedKeyQuery() const { return m_lastInsertedKeyQuery; }

private:
    enum class RowReturn { None, Returning, OutputInserted };
    enum class CaseFolding { Kept, Lower, Upper };

    QString m_quote = QStringLiteral("\"");
    SqlDialect m_sqlDialect;
    CaseFolding m_folding = CaseFolding::Kept;
    RowReturn m_insertReturn = RowReturn::Returning;
    RowReturn m_updateReturn = RowReturn::Returning;
    QString m_defaultsOnly = QStringLiteral("DEFAULT VALUES"); // the values of a row of defaults
    QString m_lastInsertedKeyQuery;
};

} // namespace zarn::dal::odbc
