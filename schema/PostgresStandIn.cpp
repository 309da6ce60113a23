#include "platform/Error.h"
#include "schema/StandIn.h"

#include <QRegularExpression>

namespace zarn::schema {

namespace {

class PostgresStandIn : public StandInServer
{
public:
    PostgresStandIn(const QString &host, int port, const PostgresSetUp &setUp)
        : m_dataSource(host + u':' + QString::number(port)), m_setUp(setUp)
    {
        m_admin = openConnection(QStringLiteral("Provider=PostgreSQL;Data Source=") + m_dataSource +
                                 QStringLiteral(";User ID=postgres"));
        // The account that owns every stand-in database; its password is the fixed one.
        createLoginRole(zarnUser(), QString());
        // The folded owner is every other stand-in's too; it stays.
        if (!m_setUp.namesAsWritten)
            m_roles.clear();
    }
    ~PostgresStandIn() override
    {
        if (!m_setUp.namesAsWritten && !m_setUp.catalogRoles)
            return;
        try {
            for (const QString &database : m_databases)
                run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
            for (const QString &role : m_roles)
                run(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
        } catch (const std::exception &) {
            // What is left dies with the throw-away server.
        }
    }

    QString zarnProvider() const override
    {
        return m_setUp.odbcDataSource.isEmpty() ? QStringLiteral("PostgreSQL")
                                                : QStringLiteral("ODBC");
    }
    QString zarnDataSource() const override
    {
        return m_setUp.odbcDataSource.isEmpty() ? m_dataSource : m_setUp.odbcDataSource;
    }

protected:
    void replaceCatalogDatabase(const QString &catalog) override
    {
        replaceDatabase(catalog);
        if (m_setUp.catalogRoles)
            createLoginRole(catalog, zarnUser());
    }

    QString replaceSourceDatabase(const QString &name) override
    {
        replaceDatabase(name);
        return QStringLiteral("Provider=") + zarnProvider() + QStringLiteral(";Data Source=") +
               zarnDataSource() + QStringLiteral(";Initial Catalog=") + name +
               QStringLiteral(";User ID=") + zarnUser() + QStringLiteral(";Password=") +
               zarnPassword();
    }

private:
    // A database or role name in the statements: quoted as written, or unquoted so that the
    // server folds it to lower case exactly as it folds unquoted names. Only plain names can
    // be written either way.
    QString serverName(const QString &name) const
    {
        const QString plain = plainName(name);
        return m_setUp.namesAsWritten ? u'"' + plain + u'"' : plain;
    }

    void createLoginRole(const QString &role, const QString &memberOf)
    {
        const QString name = serverName(role);
        const QString grant =
            memberOf.isEmpty() ? QString()
                               : QStringLiteral(" GRANT %1 TO %2;").arg(serverName(memberOf), name);
        run(QStringLiteral("DO $$ BEGIN CREATE ROLE %1 LOGIN PASSWORD '%2'; "
                           "EXCEPTION WHEN duplicate_object THEN "
                           "ALTER ROLE %1 LOGIN PASSWORD '%2'; END $$;%3")
                .arg(name, zarnPassword(), grant));
        remember(m_roles, name);
    }

    // One statement at a time: neither statement may run inside a transaction block.
    void replaceDatabase(const QString &name)
    {
        const QString database = serverName(name);
        run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
        run(QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(database, serverName(zarnUser())));
        remember(m_databases, database);
    }

    static void remember(QStringList &names, const QString &name)
    {
        if (!names.contains(name))
            names.prepend(name); // dropped before the role that owns it
    }

    void run(const QString &statement) { m_admin->provider().executeScript(statement); }

    QString m_dataSource;
    PostgresSetUp m_setUp;
    std::unique_ptr<dal::Connection> m_admin;
    QStringList m_databases;
    QStringList m_roles;
};

} // namespace

std::unique_ptr<StandInServer> StandInServer::postgresql(const QString &host, int port,
                                                         const PostgresSetUp &setUp)
{
    return std::make_unique<PostgresStandIn>(host, port, setUp);
}

} // namespace zarn::schema
