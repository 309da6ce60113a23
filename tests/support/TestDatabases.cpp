#include "support/TestDatabases.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>
#include <stdexcept>

namespace zarn::test {

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

void writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        fail(QStringLiteral("Cannot write %1.").arg(path));
}

} // namespace

QString serverUnderTest()
{
    const QString server = qEnvironmentVariable("ZARN_TEST_SERVER", QStringLiteral("sqlite"));
    if (server != QLatin1String("sqlite") && server != QLatin1String("postgresql") &&
        server != QLatin1String("odbc"))
        throw std::runtime_error("ZARN_TEST_SERVER must be sqlite, postgresql or odbc, not " +
                                 server.toStdString());
    return server;
}

// UseDeclareFetch lets the driver read forward-only rows a batch at a time; BoolsAsChar=0 gives
// booleans as bits.
QString odbcTestDataSource()
{
    static const QString name = [] {
        const QString driver = qEnvironmentVariable("ZARN_TEST_ODBC_DRIVER");
        if (!QFileInfo(driver).isFile())
            fail(QStringLiteral("ZARN_TEST_ODBC_DRIVER must name the PostgreSQL ODBC driver "
                                "(package odbc-postgresql), not \"%1\".")
                     .arg(driver));
        static QTemporaryDir folder;
        if (!folder.isValid())
            fail(QStringLiteral("No temporary folder for the ODBC configuration."));
        writeFile(folder.filePath(QStringLiteral("odbcinst.ini")),
                  QStringLiteral("[ZARN PostgreSQL]\nDriver=%1\n").arg(driver));
        const QString dataSources = folder.filePath(QStringLiteral("odbc.ini"));
        writeFile(dataSources, QStringLiteral("[zarn_test]\nDriver=ZARN PostgreSQL\n"
                                              "Servername=%1\nPort=%2\n"
                                              "UseDeclareFetch=1\nBoolsAsChar=0\n")
                                   .arg(qEnvironmentVariable("ZARN_TEST_PG_HOST"),
                                        qEnvironmentVariable("ZARN_TEST_PG_PORT")));
        qputenv("ODBCSYSINI", QFile::encodeName(folder.path()));
        qputenv("ODBCINI", QFile::encodeName(dataSources));
        return QStringLiteral("zarn_test");
    }();
    return name;
}

std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder)
{
    if (serverUnderTest() == QLatin1String("sqlite"))
        return schema::StandInServer::sqlite(folder);
    if (serverUnderTest() == QLatin1String("odbc")) {
        schema::PostgresSetUp overOdbc;
        overOdbc.namesAsWritten = true;
        overOdbc.odbcDataSource = odbcTestDataSource();
        return makePostgresStandIn(overOdbc);
    }
    return makePostgresStandIn({});
}

std::unique_ptr<schema::StandInServer> makePostgresStandIn(const schema::PostgresSetUp &setUp)
{
    if (serverUnderTest() == QLatin1String("sqlite"))
        throw std::runtime_error("a PostgreSQL set-up needs ZARN_TEST_SERVER=postgresql or odbc");
    const QString host = qEnvironmentVariable("ZARN_TEST_PG_HOST");
    bool portOk = false;
    const int port = qEnvironmentVariable("ZARN_TEST_PG_PORT").toInt(&portOk);
    if (host.isEmpty() || !portOk)
        throw std::runtime_error("ZARN_TEST_SERVER=" + serverUnderTest().toStdString() +
                                 " needs ZARN_TEST_PG_HOST and "
                                 "ZARN_TEST_PG_PORT (start a server with scripts/pg-cluster)");
    return schema::StandInServer::postgresql(host, port, setUp);
}

} // namespace zarn::test
