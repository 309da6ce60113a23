#pragma once

#include "platform/dal/Connection.h"

#include <QMap>
#include <QString>

// The schema scripts of the stand-in databases, compiled in as resources: one set per kind of
// server, each script written in that server's own SQL.
namespace zarn::schema {

enum class ServerKind { SQLite, PostgreSQL, MariaDB };

// The kind of server that a connection string's Provider keyword names; through ODBC, the kind
// given for its data source (PostgreSQL where none was given). Throws zarn::Error for a provider
// that has no stand-in scripts.
ServerKind serverKindOf(const QString &connectionString);
// Names the kind of server that an ODBC data source reaches, for the scripts run through it.
void setOdbcDataSourceKind(const QString &dataSource, ServerKind kind);

// The text of script NAME for the kind of server, every {{KEY}} replaced by values[KEY].
// Throws zarn::Error for a missing script or a placeholder left without a value.
QString schemaScript(ServerKind kind, const QString &name,
                     const QMap<QString, QString> &values = {});

// Whether the kind of server has a script NAME.
bool hasSchemaScript(ServerKind kind, const QString &name);

// Runs script NAME, with its placeholders filled in, on the open connection.
void runSchemaScript(dal::Connection &connection, const QString &name,
                     const QMap<QString, QString> &values = {});

// A connection-string value written so that the parser reads it back unchanged, as the
// connection manager writes the values it puts into connection strings.
QString connectionStringValue(const QString &value);

} // namespace zarn::schema
