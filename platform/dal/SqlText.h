#pragma once

#include "platform/dal/SqlLexer.h"

#include <QString>
#include <QStringList>
#include <optional>

// What the database access layer reads out of SQL texts: where one statement ends, and which
// table a query reads. Literals, quoted names and comments are honoured throughout, by the
// rules of the server's dialect. And the "?" markers it writes into them.
namespace zarn::dal::sqltext {

// The statements of a script separated by ";", each trimmed; blank ones and ones that hold
// only comments are dropped.
QStringList splitStatements(const QString &script, const SqlDialect &dialect);

// The table a single-table SELECT reads, as the text writes it ("VARDESC", "[Group]",
// "dbo.t"); nothing for any other query (joins, subqueries in FROM, set operations, grouping).
std::optional<QString> singleTableOf(const QString &select, const SqlDialect &dialect);

// A name without its quotes: [Name], "Name" and `Name` give Name, part by part.
QString unquotedName(const QString &name, const SqlDialect &dialect);

// count "?" markers separated by ", ".
QString parameterMarkers(qsizetype count);

} // namespace zarn::dal::sqltext
