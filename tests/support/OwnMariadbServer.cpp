#include "support/OwnMariadbServer.h"

#include "support/OdbcDataSources.h"

namespace zarn::test {

OwnMariadbServer::OwnMariadbServer(bool tableNamesByCase)
    : OwnServer(QStringLiteral(ZARN_MARIADB_SERVER_SCRIPT),
                {{QStringLiteral("MARIADB_SERVER_DURABLE"), QStringLiteral("1")},
                 {QStringLiteral("MARIADB_SERVER_LOWER_CASE_TABLE_NAMES"),
                  tableNamesByCase ? QStringLiteral("0") : QStringLiteral("1")}},
                QStringLiteral("mariadbd.pid"))
{
    if (started())
        m_dataSource = ownMariadbDataSource(host(), port());
}

} // namespace zarn::test
