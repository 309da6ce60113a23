#include "bench/Fixture.h"

#include "facility/SlotArithmetic.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"
#include "schema/Generator.h"
#include "schema/Scripts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cstdio>
#include <stdexcept>

namespace zarn::bench {

const QString facilityFile = QStringLiteral("BENCH");
const QString siteId = QStringLiteral("1");
const QString auditUser = QStringLiteral("VT2ZRANS");
const DateTime rangeStart = DateTime::fromParts(2023, 12, 31);
const DateTime rangeEnd = DateTime::fromParts(2100, 1, 1);

namespace {

void writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0,
          "cannot write the ODBC configuration");
}

// The data source "zarn_bench" of a driver (found at build time) with its attributes, defined in
// configuration files of the work folder as the tests define theirs.
QString odbcDataSource(const Options &options, const char *driverPath, const char *package,
                       const QString &attributes)
{
    const QString driver = QString::fromUtf8(driverPath);
    if (!QFileInfo(driver).isFile())
        throw std::runtime_error(QStringLiteral("the ODBC driver of package %1 was not found when "
                                                "the benchmark was built")
                                     .arg(QLatin1String(package))
                                     .toStdString());
    const QString folder = QDir(options.work).absoluteFilePath(QStringLiteral("odbc"));
    check(QDir().mkpath(folder), "cannot make the ODBC configuration folder");
    writeFile(folder + QStringLiteral("/odbcinst.ini"),
              QStringLiteral("[ZARN bench driver]\nDriver=%1\n").arg(driver));
    const QString dataSources = folder + QStringLiteral("/odbc.ini");
    writeFile(dataSources,
              QStringLiteral("[zarn_bench]\nDriver=ZARN bench driver\n%1").arg(attributes));
    qputenv("ODBCSYSINI", QFile::encodeName(folder));
    qputenv("ODBCINI", QFile::encodeName(dataSources));
    return QStringLiteral("zarn_bench");
}

// The server's address from the environment, as the benchmark script puts it there.
std::pair<QString, int> serverAddress(const char *hostVariable, const char *portVariable)
{
    const QString host = qEnvironmentVariable(hostVariable);
    const int port = qEnvironmentVariable(portVariable).toInt();
    if (host.isEmpty() || port <= 0)
        throw std::runtime_error(std::string(hostVariable) + " and " + portVariable +
                                 " name no server");
    return {host, port};
}

// The PostgreSQL server, by its own provider or through psqlODBC: UseDeclareFetch lets the
// driver read forward-only rows a batch at a time, BoolsAsChar=0 gives booleans as bits.
std::unique_ptr<schema::StandInServer> postgresServer(const Options &options)
{
    const auto [host, port] = serverAddress("ZARN_TEST_PG_HOST", "ZARN_TEST_PG_PORT");
    schema::PostgresSetUp setUp;
    if (options.server == Server::odbc) {
        setUp.namesAsWritten = true; // as the ODBC driver hands them to the server
        setUp.odbcDataSource = odbcDataSource(
            options, ZARN_BENCH_ODBC_DRIVER, "odbc-postgresql",
            QStringLiteral("Servername=%1\nPort=%2\nUseDeclareFetch=1\nBoolsAsChar=0\n")
                .arg(host)
                .arg(port));
    }
    return schema::StandInServer::postgresql(host, port, setUp);
}

// The MariaDB server through MariaDB Connector/ODBC, its texts holding several statements as the
// stand-in's schema scripts do.
std::unique_ptr<schema::StandInServer> mariadbServer(const Options &options)
{
    const auto [host, port] = serverAddress("ZARN_TEST_MARIADB_HOST", "ZARN_TEST_MARIADB_PORT");
    return schema::StandInServer::mariadb(
        odbcDataSource(options, ZARN_BENCH_MARIADB_ODBC_DRIVER, "odbc-mariadb",
                       QStringLiteral("SERVER=%1\nPORT=%2\nCHARSET=utf8mb4\nOPTION=67108864\n")
                           .arg(host)
                           .arg(port)));
}

QString readingKey(dal::Recordset &rs)
{
    return rs.Fields(0).Value().toTextOrEmpty() + u'_' + rs.Fields(1).Value().toTextOrEmpty();
}

// Reading key -> VARID, as the import builds its map.
QHash<QString, std::int32_t> variableMap(dal::Connection &source, dal::Connection &facility)
{
    QHash<QString, std::int32_t> varIdOfSensor;
    dal::Recordset variables =
        facility.Execute(QStringLiteral("SELECT VARNUM, VARID FROM VARDESC"));
    for (; !variables.Eof(); variables.MoveNext())
        varIdOfSensor.insert(variables.Fields(0).Value().toText(),
                             variables.Fields(1).Value().toInt32());
    QHash<QString, std::int32_t> map;
    dal::Recordset sensors =
        source.Execute(QStringLiteral("SELECT SensorType, TrainNumber, SensorID FROM SENSORS_1"));
    for (; !sensors.Eof(); sensors.MoveNext())
        map.insert(readingKey(sensors), varIdOfSensor.value(sensors.Fields(2).Value().toText()));
    return map;
}

} // namespace

void check(bool ok, const char *what)
{
    if (!ok)
        throw std::runtime_error(what);
}

QString sourceDatabase(const Options &options)
{
    const QString folder =
        QDir(options.work)
            .absoluteFilePath(
                QStringLiteral("source-%1-%2").arg(options.readings).arg(options.sensors));
    const QString path = folder + QStringLiteral("/vantrel.db");
    const QString done = folder + QStringLiteral("/complete");
    const QString connectionString =
        QStringLiteral("Provider=SQLite;Data Source=") + schema::connectionStringValue(path);
    if (QFile::exists(done))
        return connectionString;
    std::fprintf(stderr, "generating %lld readings...\n", options.readings);
    auto server = schema::StandInServer::sqlite(folder);
    const auto source = schema::openConnection(server->createSource(QStringLiteral("vantrel")));
    schema::SourceSpec spec =
        schema::uniformSpec(7, 1, trains, options.sensors / trains, options.readings);
    // Two minutes apart, a sensor's readings never share a slot, whatever their jitter: the
    // store then holds one row per reading, the rows that the bulk load writes.
    spec.sites.front().secondsBetweenReadings = 120;
    schema::generateSource(*source, spec);
    QFile(done).open(QIODevice::WriteOnly);
    return connectionString;
}

std::unique_ptr<schema::StandInServer> facilityServer(const Options &options)
{
    std::unique_ptr<schema::StandInServer> server;
    switch (options.server) {
    case Server::sqlite:
        server = schema::StandInServer::sqlite(
            QDir(options.work).absoluteFilePath(QStringLiteral("catalogs")));
        break;
    case Server::mariadb:
        server = mariadbServer(options);
        break;
    case Server::postgresql:
    case Server::odbc:
        server = postgresServer(options);
        break;
    }
    server->createRootCatalog();
    return server;
}

std::unique_ptr<dal::Connection>
freshFacility(const Options &options, schema::StandInServer &server, dal::Connection &source)
{
    server.createFacility(facilityFile, QStringLiteral("Benchmark"));
    auto facility = schema::openConnection(server.catalogConnectionString(facilityFile));
    if (options.procedure == QLatin1String("sql"))
        schema::runSchemaScript(*facility, QStringLiteral("dailydata_sqlwrite"),
                                {{QStringLiteral("CODE"), QStringLiteral("1")}});
    dal::Recordset sensors =
        source.Execute(QStringLiteral("SELECT SensorID, Description FROM SENSORS_1"));
    dal::Transaction transaction(*facility);
    for (; !sensors.Eof(); sensors.MoveNext())
        facility->Execute(QStringLiteral("INSERT INTO VARDESC (VARNUM, name) VALUES (?, ?)"),
                          {sensors.Fields(0).Value(), sensors.Fields(1).Value()});
    transaction.commit();
    return facility;
}

std::optional<int> mariadbServerProcess(dal::Connection &connection)
{
    QFile pidFile(
        connection.Execute(QStringLiteral("SELECT @@pid_file")).Fields(0).Value().toText());
    if (!pidFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    return pidFile.readLine().trimmed().toInt();
}

QString facilityConnectionInfo(const Options &options)
{
    // Over ODBC the stand-in names its databases as written; otherwise the server folds them.
    const QString database = options.server == Server::odbc ? facilityFile : facilityFile.toLower();
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=postgres")
        .arg(qEnvironmentVariable("ZARN_TEST_PG_HOST"), qEnvironmentVariable("ZARN_TEST_PG_PORT"),
             database);
}

long long forEachRow(dal::Connection &source, dal::Connection &facility, long long limit,
                     const std::function<void(const Row &)> &use)
{
    const QHash<QString, std::int32_t> map = variableMap(source, facility);
    dal::Recordset readings;
    readings.Open(QStringLiteral("SELECT SensorType, TrainNumber, Data, TimeDate FROM DATA_1 "
                                 "WHERE TimeDate>? AND TimeDate<?"),
                  source, dal::adOpenForwardOnly, dal::adLockReadOnly, dal::adCmdText,
                  {Value(rangeStart), Value(rangeEnd)});
    const long long total = std::min<long long>(readings.RecordCount(), limit);
    for (long long i = 0; i < total; ++i) {
        const DateTime stamp = readings.Fields(3).Value().toDateTime();
        const Value &data = readings.Fields(2).Value();
        use({map.value(readingKey(readings)), slot::slotStart(stamp, 1440), stamp, data.toDouble(),
             data.toText()});
        readings.MoveNext();
    }
    return total;
}

long long storedCount(dal::Connection &facility)
{
    dal::Recordset rs = facility.Execute(QStringLiteral("SELECT COUNT(*) FROM DD1_VALUES"));
    return static_cast<long long>(rs.Fields(0).Value().toDouble());
}

} // namespace zarn::bench
