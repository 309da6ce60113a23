#include "StartupDatabases.h"

#include "platform/dal/Recordset.h"
#include "support/TestDatabases.h"

#include <QFile>
#include <stdexcept>

namespace zarn::test {

StartupDatabases::StartupDatabases() : m_server(makeStandIn(m_folder.path()))
{
    m_server->createRootCatalog();
    m_source = m_server->createSource(QStringLiteral("vantrel"));
}

void StartupDatabases::addFacility(const Value &fileName, const Value &name)
{
    m_server->addFacilityRow(fileName, name);
}

void StartupDatabases::addSite(int systemId, const Value &name, const QString &status)
{
    schema::openConnection(m_source)->Execute(
        QStringLiteral("INSERT INTO SYSTEMS (SystemID, FacilityName, Status) VALUES (?, ?, ?)"),
        {Value(std::int32_t(systemId)), name, Value(status)});
}

void StartupDatabases::executeOnRoot(const QString &sql)
{
    schema::openConnection(m_server->catalogConnectionString(QStringLiteral("TAVROOT")))
        ->Execute(sql);
}

void StartupDatabases::executeOnSource(const QString &sql)
{
    schema::openConnection(m_source)->Execute(sql);
}

QString StartupDatabases::iniPath() const
{
    return m_folder.filePath(QStringLiteral("ZARN_Vantrel_DB_importer.ini"));
}

QString StartupDatabases::writeIni() const
{
    schema::writeIni(iniPath(), *m_server, m_source);
    return iniPath();
}

QString StartupDatabases::writeIni(const QString &text) const
{
    const QString path = iniPath();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        throw std::runtime_error("cannot write " + path.toStdString());
    return path;
}

QString StartupDatabases::zarnSettings(const QString &provider) const
{
    return QStringLiteral("PELKZARN_CONNECTION_DBTYPE=2\r\nPELKZARN_CONNECTION_PROVIDER=") +
           provider + QStringLiteral("\r\nPELKZARN_CONNECTION_DATASOURCE=") +
           m_server->zarnDataSource() + QStringLiteral("\r\n");
}

QString StartupDatabases::zarnSettings() const
{
    return zarnSettings(m_server->zarnProvider());
}

} // namespace zarn::test
