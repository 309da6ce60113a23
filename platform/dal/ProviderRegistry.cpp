#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/Provider.h"
#include "platform/dal/odbc/OdbcProvider.h"
#include "platform/dal/postgresql/PostgresProvider.h"
#include "platform/dal/sqlite/SqliteProvider.h"

namespace zarn::dal {

std::unique_ptr<Provider> createProvider(const QString &providerName)
{
    const QString name = providerName.trimmed();
    if (name.compare(QStringLiteral("SQLite"), Qt::CaseInsensitive) == 0)
        return createSqliteProvider();
    if (name.compare(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive) == 0)
        return createPostgresProvider();
    if (name.compare(QStringLiteral("MSDASQL"), Qt::CaseInsensitive) == 0 ||
        name.compare(QStringLiteral("ODBC"), Qt::CaseInsensitive) == 0)
        return createOdbcProvider();
    if (name.isEmpty())
        throw DatabaseError(QStringLiteral("The connection string names no Provider."));
    throw DatabaseError(
        QStringLiteral("The database provider \"%1\" is unknown.").arg(withoutPasswords(name)));
}

} // namespace zarn::dal
