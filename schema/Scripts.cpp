#include "schema/Scripts.h"

#include "platform/Error.h"
#include "platform/dal/ConnectionString.h"

#include <QFile>
#include <QHash>
#include <QMutex>
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
    switch (kind) {
    case ServerKind::SQLite:
        return QStringLiteral("sqlite");
    case ServerKind::MariaDB:
        return QStringLiteral("mariadb");
    case ServerKind::PostgreSQL:
        break;
    }
    return QStringLiteral("postgresql");
}

// The kinds of the ODBC data sources that were named, by data source.
struct OdbcDataSourceKinds
{
    QMutex mutex;
    QHash<QString, ServerKind> kinds;
};

OdbcDataSourceKinds &odbcDataSourceKinds()
{
    static OdbcDataSourceKinds named;
    return named;
}

ServerKind odbcDataSourceKind(const QString &dataSource)
{
    OdbcDataSourceKinds &named = odbcDataSourceKinds();
    const QMutexLocker lock(&named.mutex);
    return named.kinds.value(dataSource, ServerKind::PostgreSQL);
}

QString scriptPath(ServerKind kind, const QString &name)
{
    static const bool registered = (registerSchemaResources(), true);
    Q_UNUSED(registered);
    return QStringLiteral(":/schema/%1/%2.sql").arg(folderOf(kind), name);
}

QString readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("There is no schema script %1.").arg(path));
    return QString::fromUtf8(file.readAll());
}

} // namespace

ServerKind serverKindOf(const QString &connectionString)
{
    const QMap<QString, QString> keywords = dal::parseConnectionString(connectionString);
    const QString provider = keywords.value(QStringLiteral("provider"));
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        return ServerKind::SQLite;
    if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0)
        return ServerKind::PostgreSQL;
    for (const char *odbc : {"ODBC", "MSDASQL"}) {
        if (provider.compare(QLatin1String(odbc), Qt::CaseInsensitive) == 0)
            return odbcDataSourceKind(keywords.value(QStringLiteral("data source")).trimmed());
    }
    throw Error(
        errc::InvalidProcedureCall,
        QStringLiteral("There are no stand-in databases for the provider \"%1\".").arg(provider));
}

void setOdbcDataSourceKind(const QString &dataSource, ServerKind kind)
{
    OdbcDataSourceKinds &named = odbcDataSourceKinds();
    const QMutexLocker lock(&named.mutex);
    named.kinds.insert(dataSource, kind);
}

QString schemaScript(ServerKind kind, const QString &name, const QMap<QString, QString> &values)
{
    QString script = readResource(scriptPath(kind, name));
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

bool hasSchemaScript(ServerKind kind, const QString &name)
{
    return QFile::exists(scriptPath(kind, name));
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
