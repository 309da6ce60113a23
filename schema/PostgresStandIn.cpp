#include "platform/Error.h"
#include "schema/StandIn.h"

#include <QRegularExpression>

namespace zarn::schema {

namespace {

// Database and role names go into the statements unquoted, so the server folds them to lower
// case exactly as it folds the names that the connection strings give. Only plain names can
// be written that way.
QString plainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch())
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("\"%1\" is not a plain database name.").arg(name));
    return name;
}

class PostgresStandIn : public StandInServer
{
public:
    PostgresStandIn(const QString &host, int port)
        : m_dataSource(host + u':' + QString::number(port))
    {
        m_admin = openConnection(QStringLiteral("Provider=PostgreSQL;Data Source=") + m_dataSource +
                                 QStringLiteral(";User ID=postgres"));
        // The account that owns every stand-in database; its password is the fixed one.
        run(QStringLiteral("DO $$ BEGIN CREATE ROLE %1 LOGIN PASSWORD '%2'; "
                           "EXCEPTION WHEN duplicate_object THEN "
                           "ALTER ROLE %1 LOGIN PASSWORD '%2'; END $$")
                .arg(plainName(zarnUser()), zarnPassword()));
    }

    QString zarnProvider() const override { return QStringLiteral("PostgreSQL"); }
    QString zarnDataSource() const override { return m_dataSource; }

protected:
    void replaceCatalogDatabase(const QString &catalog) override { replaceDatabase(catalog); }

    QString replaceSourceDatabase(const QString &name) override
    {
        replaceDatabase(name);
        return QStringLiteral("Provider=PostgreSQL;Data Source=") + m_dataSource +
               QStringLiteral(";Initial Catalog=") + name + QStringLiteral(";User ID=") +
               zarnUser() + QStringLiteral(";Password=") + zarnPassword();
    }

private:
    // One statement at a time: neither statement may run inside a transaction block.
    void replaceDatabase(const QString &name)
    {
        run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(plainName(name)));
        run(QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(plainName(name), zarnUser()));
    }

    void run(const QString &statement) { m_admin->provider().executeScript(statement); }

    QString m_dataSource;
    std::unique_ptr<dal::Connection> m_admin;
};

} // namespace

std::unique_ptr<StandInServer> StandInServer::postgresql(const QString &host, int port)
{
    return std::make_unique<PostgresStandIn>(host, port);
}

} // namespace zarn::schema
