#include "schema/Scripts.h"

#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"

#include <QFile>
#include <QRegularExpression>

// The resources live in a static library: registered here so that every program that uses
// the scripts finds them.
static void registerSchemaResources()
{
    Q_INIT_RESOURCE(zarnschema_scripts);
}

namespace zarn::schema {

namespace {

QString folderOf(ServerKind kind)
{
    return kind == ServerKind::SQLite ? QStringLiteral("sqlite") : QStringLiteral("postgresql");
}

QString readResource(const QString &path)
{
    static const bool registered = (registerSchemaResources(), true);
    Q_UNUSED(registered);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("There is no schema script %1.").arg(path));
    return QString::fromUtf8(file.readAll());
}

} // namespace

ServerKind serverKindOf(const QString &connectionString)
{
    const QString provider =
        dal::parseConnectionString(connectionString).value(QStringLiteral("provider"));
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        return ServerKind::SQLite;
    // The stand-ins' ODBC data sources reach a PostgreSQL server through its driver.
    for (const char *postgresql : {"PostgreSQL", "ODBC", "MSDASQL"}) {
        if (provider.compare(QLatin1String(postgresql), Qt::CaseInsensitive) == 0)
            return ServerKind::PostgreSQL;
    }
    throw Error(
        errc::InvalidProcedureCall,
        QStringLiteral("There are no stand-in databases for the provider \"%1\".").arg(provider));
}

QString schemaScript(ServerKind kind, const QString &name, const QMap<QString, QString> &values)
{
    QString script = readResource(QStringLiteral(":/schema/%1/%2.sql").arg(folderOf(kind), name));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        script.replace(QStringLiteral("{{%1}}").arg(it.key()), it.value());
    static const QRegularExpression placeholder(QStringLiteral("\\{\\{(\\w+)\\}\\}"));
    const QRegularExpressionMatch left = placeholder.match(script);
    if (left.hasMatch())
        throw Error(
            errc::InvalidProcedureCall,
            QStringLiteral("Schema script %1 needs a value for %2.").arg(name, left.captured(1)));
    return script;
}

void runSchemaScript(dal::Connection &connection, const QString &name,
                     const QMap<QString, QString> &values)
{
    const ServerKind kind = serverKindOf(connection.connectionString());
    connection.provider().executeScript(schemaScript(kind, name, values));
}

QString connectionStringValue(const QString &value)
{
    return dal::connectionStringValue(value);
}

} // namespace zarn::schema
