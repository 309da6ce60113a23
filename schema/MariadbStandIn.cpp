#include "platform/Error.h"
#include "schema/StandIn.h"

#include <QRegularExpression>

namespace zarn::schema {

namespace {

class MariadbStandIn : public StandInServer
{
public:
    explicit MariadbStandIn(const QString &dataSource) : m_dataSource(dataSource)
    {
        setOdbcDataSourceKind(dataSource, ServerKind::MariaDB);
        m_admin = openConnection(QStringLiteral("Provider=ODBC;Data Source=%1;User ID=root")
                                     .arg(connectionStringValue(dataSource)));
        // The account that reaches every stand-in database, with the fixed password.
        run(QStringLiteral("CREATE USER IF NOT EXISTS '%1'@'%' IDENTIFIED BY '%2'")
                .arg(zarnUser(), zarnPassword()));
        run(QStringLiteral("GRANT ALL PRIVILEGES ON *.* TO '%1'@'%'").arg(zarnUser()));
    }

    QString zarnProvider() const override { return QStringLiteral("ODBC"); }
    QString zarnDataSource() const override { return m_dataSource; }

protected:
    void replaceCatalogDatabase(const QString &catalog) override { replaceDatabase(catalog); }

    QString replaceSourceDatabase(const QString &name) override
    {
        replaceDatabase(name);
        return QStringLiteral("Provider=ODBC;Data Source=") + connectionStringValue(m_dataSource) +
               QStringLiteral(";Initial Catalog=") + name + QStringLiteral(";User ID=") +
               zarnUser() + QStringLiteral(";Password=") + zarnPassword();
    }

private:
    void replaceDatabase(const QString &name)
    {
        const QString database = plainName(name);
        run(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(database));
        run(QStringLiteral("CREATE DATABASE `%1`").arg(database));
    }

    void run(const QString &statement) { m_admin->provider().executeScript(statement); }

    QString m_dataSource;
    std::unique_ptr<dal::Connection> m_admin;
};

} // namespace

std::unique_ptr<StandInServer> StandInServer::mariadb(const QString &odbcDataSource)
{
    return std::make_unique<MariadbStandIn>(odbcDataSource);
}

} // namespace zarn::schema
