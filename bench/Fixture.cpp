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

// A data source of the PostgreSQL server for its ODBC driver (found at build time), defined in
// configuration files of the work folder as the tests define theirs: UseDeclareFetch lets the
// driver read forward-only rows a batch at a time, BoolsAsChar=0 gives booleans as bits.
QString odbcDataSource(const Options &options, const QString &host, int port)
{
    const QString driver = QStringLiteral(ZARN_BENCH_ODBC_DRIVER);
    if (!QFileInfo(driver).isFile())
        throw std::runtime_error("the PostgreSQL ODBC driver (package odbc-postgresql) was not "
                                 "found when the benchmark was built");
    const QString folder = QDir(options.work).absoluteFilePath(QStringLiteral("odbc"));
    check(QDir().mkpath(folder), "cannot make the ODBC configuration folder");
    writeFile(folder + QStringLiteral("/odbcinst.ini"),
              QStringLiteral("[ZARN PostgreSQL]\nDriver=%1\n").arg(driver));
    const QString dataSources = folder + QStringLiteral("/odbc.ini");
    writeFile(dataSources, QStringLiteral("[zarn_bench]\nDriver=ZARN PostgreSQL\nServername=%1\n"
                                          "Port=%2\nUseDeclareFetch=1\nBoolsAsChar=0\n")
                               .arg(host)
                               .arg(port));
    qputenv("ODBCSYSINI", QFile::encodeName(folder));
    qputenv("ODBCINI", QFile::encodeName(dataSources));
    return QStringLiteral("zarn_bench");
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
    if (options.server == Server::sqlite) {
        server = schema::StandInServer::sqlite(
            QDir(options.work).absoluteFilePath(QStringLiteral("catalogs")));
    } else {
        const QString host = qEnvironmentVariable("ZARN_TEST_PG_HOST");
        const int port = qEnvironmentVariable("ZARN_TEST_PG_PORT").toInt();
        if (host.isEmpty() || port <= 0)
            throw std::runtime_error("ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT name no server");
        schema::PostgresSetUp setUp;
        if (options.server == Server::odbc) {
            setUp.namesAsWritten = true; // as the ODBC driver hands them to the server
            setUp.odbcDataSource = odbcDataSource(options, host, port);
        }
        server = schema::StandInServer::postgresql(host, port, setUp);
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
