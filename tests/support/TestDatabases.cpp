#include "support/TestDatabases.h"

#include <QtGlobal>
#include <stdexcept>

namespace zarn::test {

QString serverUnderTest()
{
    const QString server = qEnvironmentVariable("ZARN_TEST_SERVER", QStringLiteral("sqlite"));
    if (server != QLatin1String("sqlite") && server != QLatin1String("postgresql"))
        throw std::runtime_error("ZARN_TEST_SERVER must be sqlite or postgresql, not " +
                                 server.toStdString());
    return server;
}

std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder)
{
    if (serverUnderTest() == QLatin1String("sqlite"))
        return schema::StandInServer::sqlite(folder);
    return makePostgresStandIn({});
}

std::unique_ptr<schema::StandInServer> makePostgresStandIn(const schema::PostgresSetUp &setUp)
{
    if (serverUnderTest() != QLatin1String("postgresql"))
        throw std::runtime_error("a PostgreSQL set-up needs ZARN_TEST_SERVER=postgresql");
    const QString host = qEnvironmentVariable("ZARN_TEST_PG_HOST");
    bool portOk = false;
    const int port = qEnvironmentVariable("ZARN_TEST_PG_PORT").toInt(&portOk);
    if (host.isEmpty() || !portOk)
        throw std::runtime_error("ZARN_TEST_SERVER=postgresql needs ZARN_TEST_PG_HOST and "
                                 "ZARN_TEST_PG_PORT (start a server with scripts/pg-cluster)");
    return schema::StandInServer::postgresql(host, port, setUp);
}

} // namespace zarn::test
