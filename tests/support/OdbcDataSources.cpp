#include "support/OdbcDataSources.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryDir>
#include <QtGlobal>
#include <atomic>
#include <stdexcept>

namespace zarn::test {

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

void append(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.write(text.toUtf8()) < 0)
        fail(QStringLiteral("Cannot write %1.").arg(path));
}

// The process's driver and data source files; defining one adds its driver and itself.
class DataSourceFiles
{
public:
    static DataSourceFiles &instance()
    {
        static DataSourceFiles files;
        return files;
    }

    // The driver as driverName, from the file that driverVariable names, once.
    void defineDriver(const QString &driverName, const QString &driverVariable,
                      const QString &driverPackage)
    {
        const QMutexLocker lock(&m_mutex);
        const QString driver = qEnvironmentVariable(driverVariable.toLatin1().constData());
        if (!QFileInfo(driver).isFile())
            fail(QStringLiteral("%1 must name the ODBC driver of package %2, not \"%3\".")
                     .arg(driverVariable, driverPackage, driver));
        append(m_folder.filePath(QStringLiteral("odbcinst.ini")),
               QStringLiteral("[%1]\nDriver=%2\n").arg(driverName, driver));
    }

    QString defineDataSource(const QString &name, const QString &driverName,
                             const QString &attributes)
    {
        const QMutexLocker lock(&m_mutex);
        append(dataSources(),
               QStringLiteral("[%1]\nDriver=%2\n%3").arg(name, driverName, attributes));
        return name;
    }

    QString dataSources() const { return m_folder.filePath(QStringLiteral("odbc.ini")); }

private:
    DataSourceFiles()
    {
        if (!m_folder.isValid())
            fail(QStringLiteral("No temporary folder for the ODBC configuration."));
        qputenv("ODBCSYSINI", QFile::encodeName(m_folder.path()));
        qputenv("ODBCINI", QFile::encodeName(dataSources()));
    }

    QMutex m_mutex;
    QTemporaryDir m_folder;
};

QString serverAddress(const char *hostVariable, const char *portVariable)
{
    const QString host = qEnvironmentVariable(hostVariable);
    const QString port = qEnvironmentVariable(portVariable);
    if (host.isEmpty() || port.isEmpty())
        fail(QStringLiteral("%1 and %2 must name the server for the tests.")
                 .arg(QLatin1String(hostVariable), QLatin1String(portVariable)));
    return host + u'\n' + port;
}

} // namespace

namespace {

const QString &postgresDriver()
{
    static const QString driver = [] {
        const QString name = QStringLiteral("ZARN PostgreSQL");
        DataSourceFiles::instance().defineDriver(name, QStringLiteral("ZARN_TEST_ODBC_DRIVER"),
                                                 QStringLiteral("odbc-postgresql"));
        return name;
    }();
    return driver;
}

// UseDeclareFetch lets the driver read forward-only rows a batch at a time; BoolsAsChar=0 gives
// booleans as bits.
QString definePostgresDataSource(const QString &name, const QString &host, const QString &port)
{
    return DataSourceFiles::instance().defineDataSource(
        name, postgresDriver(),
        QStringLiteral("Servername=%1\nPort=%2\nUseDeclareFetch=1\nBoolsAsChar=0\n")
            .arg(host, port));
}

} // namespace

QString odbcTestDataSource()
{
    static const QString name = [] {
        const QStringList address =
            serverAddress("ZARN_TEST_PG_HOST", "ZARN_TEST_PG_PORT").split(u'\n');
        return definePostgresDataSource(QStringLiteral("zarn_test"), address[0], address[1]);
    }();
    return name;
}

QString ownPostgresDataSource(const QString &host, const QString &port)
{
    static std::atomic<int> count{0};
    return definePostgresDataSource(QStringLiteral("zarn_own_postgresql_%1").arg(++count), host,
                                    port);
}

namespace {

const QString &mariadbDriver()
{
    static const QString driver = [] {
        const QString name = QStringLiteral("ZARN MariaDB");
        DataSourceFiles::instance().defineDriver(
            name, QStringLiteral("ZARN_TEST_MARIADB_ODBC_DRIVER"), QStringLiteral("odbc-mariadb"));
        return name;
    }();
    return driver;
}

// OPTION 67108864 lets one text hold several statements, as the stand-ins' schema scripts do.
QString defineMariadbDataSource(const QString &name, const QString &host, const QString &port)
{
    return DataSourceFiles::instance().defineDataSource(
        name, mariadbDriver(),
        QStringLiteral("SERVER=%1\nPORT=%2\nCHARSET=utf8mb4\nOPTION=67108864\n").arg(host, port));
}

} // namespace

QString mariadbTestDataSource()
{
    static const QString name = [] {
        const QStringList address =
            serverAddress("ZARN_TEST_MARIADB_HOST", "ZARN_TEST_MARIADB_PORT").split(u'\n');
        return defineMariadbDataSource(QStringLiteral("zarn_mariadb"), address[0], address[1]);
    }();
    return name;
}

QString ownMariadbDataSource(const QString &host, const QString &port)
{
    static std::atomic<int> count{0};
    return defineMariadbDataSource(QStringLiteral("zarn_own_mariadb_%1").arg(++count), host, port);
}

} // namespace zarn::test
