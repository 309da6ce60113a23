#include "support/TestDatabases.h"

#include <QtGlobal>
#include <stdexcept>

namespace zarn::test {

QString serverUnderTest()
{
    const QString server = qEnvironmentVariable("ZARN_TEST_SERVER", QStringLiteral("sqlite"));
    for (const char *known : {"sqlite", "postgresql", "odbc", "mariadb"}) {
        if (server == QLatin1String(known))
            return server;
    }
    throw std::runtime_error("ZARN_TEST_SERVER must be sqlite, postgresql, odbc or mariadb, not " +
                             server.toStdString());
}

const ServerContext &serverContext()
{
    static const std::unique_ptr<ServerContext> context = [] {
        const QString server = serverUnderTest();
        if (server == QLatin1String("sqlite"))
            return makeSqliteContext();
        if (server == QLatin1String("mariadb"))
            return makeMariadbContext();
        return makePostgresContext(server == QLatin1String("odbc"));
    }();
    return *context;
}

std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder)
{
    return serverContext().makeStandIn(folder);
}

std::unique_ptr<schema::StandInServer> makePostgresStandIn(const schema::PostgresSetUp &setUp)
{
    const QString server = serverUnderTest();
    if (server != QLatin1String("postgresql") && server != QLatin1String("odbc"))
        throw std::runtime_error("a PostgreSQL set-up needs ZARN_TEST_SERVER=postgresql or odbc");
    const QString host = qEnvironmentVariable("ZARN_TEST_PG_HOST");
    bool portOk = false;
    const int port = qEnvironmentVariable("ZARN_TEST_PG_PORT").toInt(&portOk);
    if (host.isEmpty() || !portOk)
        throw std::runtime_error("ZARN_TEST_SERVER=" + server.toStdString() +
                                 " needs ZARN_TEST_PG_HOST and "
                                 "ZARN_TEST_PG_PORT (start a server with scripts/pg-cluster)");
    return schema::StandInServer::postgresql(host, port, setUp);
}

} // namespace zarn::test
