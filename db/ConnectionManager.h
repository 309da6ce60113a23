#pragma once

#include "db/HashTable.h"
#include "platform/dal/Connection.h"

#include <QString>
#include <cstdint>

namespace zarn {

// Holds the ZARN server settings and the source connection string, builds the connection
// strings of the root catalog and of any facility catalog, and configures the root, source and
// facility connections. It never opens a connection and never shows a message.
class ConnectionManager
{
public:
    ConnectionManager();

    bool Init(std::int16_t aDB_TYPE, const QString &aDB_PROVIDER, const QString &aDB_DATASOURCE,
              const QString &VantrelConnString, const QString &aDB_CUSTOMIZATION = QString(),
              bool aPersistSecurityInfo = false, std::int32_t CnnTimeout_Sec = 0,
              std::int32_t CommandTimeout_Sec = 0);

    bool DataSourceReplace() const { return m_dataSourceReplace; }
    void setDataSourceReplace(bool on) { m_dataSourceReplace = on; }

    QString password() const;

    std::int32_t CONNECTION_TIMEOUT_s() const { return m_connectionTimeout; }
    void setCONNECTION_TIMEOUT_s(std::int32_t seconds) { m_connectionTimeout = seconds; }
    std::int32_t COMMAND_TIMEOUT_s() const { return m_commandTimeout; }
    void setCOMMAND_TIMEOUT_s(std::int32_t seconds) { m_commandTimeout = seconds; }

    bool RefreshDsHASH(dal::Connection &LiveCnnToTAVROOT);

    void ConfigCnn4TAVROOT(dal::Connection &objCnn2Configure);
    void ConfigCnn4VT(dal::Connection &objConn);
    void ConfigCnn4FACILITY(dal::Connection &objCnn2Configure, const QString &FacilityID);

    const QString &TemplateCnnString() const { return m_templateCnnString; }
    const QString &DB_PROVIDER() const { return m_provider; }
    const QString &DB_DATASOURCE() const { return m_dataSource; }
    const QString &DB_CUSTOMIZATION() const { return m_customization; }
    // The database type given to Init (1 or 2); the audit trail takes it as its database kind.
    std::int16_t DB_TYPE() const { return m_dbType; }

    QString BuildConnectionString(const QString &userString);

private:
    QString GetFacilityDataSource(const QString &catalog);
    void configure(dal::Connection &connection, const QString &connectionString) const;

    bool m_dataSourceReplace = false;
    bool m_persistSecurityInfo = false;
    HashTable m_dsHash;
    std::int16_t m_dbType = 2;
    QString m_provider;
    QString m_dataSource;
    QString m_customization;
    QString m_password;
    std::int32_t m_connectionTimeout = 0;
    std::int32_t m_commandTimeout = 0;
    QString m_sourceConnString;
    QString m_templateCnnString;
};

} // namespace zarn
