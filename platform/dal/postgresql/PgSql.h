#pragma once

// Names and SQL texts as the PostgreSQL server reads them.

#include "platform/dal/SqlLexer.h"

#include <QString>

namespace zarn::dal::pg {

// A name quoted for the server, folded to lower case as an unquoted name would be.
QString quotedName(const QString &name);
// A possibly schema-qualified name ("name" or "schema.name") quoted part by part.
QString quotedQualifiedName(const QString &name);

// The server's SQL: dollar-quoted bodies, E'' literals with backslash escapes, comments that
// nest, and no backtick quotes.
const SqlDialect &postgresDialect();

// "?" placeholders become $1..$n and [Name] becomes "name", outside string literals, quoted
// identifiers, dollar-quoted bodies and comments.
struct TranslatedSql
{
    QString text;
    int parameterCount = 0;
};
TranslatedSql translateSql(const QString &sql);

} // namespace zarn::dal::pg
