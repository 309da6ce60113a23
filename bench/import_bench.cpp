// Times the data import of a generated site into a SQLite and a PostgreSQL facility, against
// the bulk limit for the same rows and against one call and one commit per reading.
//
//   zarn-bench-import --server sqlite|postgresql --readings N [--sample K] [--sensors S]
//                     --work DIR [--procedure plpgsql|sql]
//
// The source is a SQLite file in DIR, generated once per size and reused. PostgreSQL is the
// server that ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT name (scripts/benchmark starts one).
// On PostgreSQL the facility's write procedure is the PL/pgSQL stand-in, or with --procedure sql
// the SQL-language one (dailydata_sqlwrite). Linux only: peak memory is read from
// /proc/self/status.

#include "bench/PgCopy.h"
#include "facility/DataDDInt.h"
#include "facility/SlotArithmetic.h"
#include "import/Importer.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"
#include "schema/Generator.h"
#include "schema/Scripts.h"
#include "schema/StandIn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTextStream>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace zarn::bench {
namespace {

const QString facilityFile = QStringLiteral("BENCH");
const QString siteId = QStringLiteral("1");
const QString auditUser = QStringLiteral("VT2ZRANS");
const DateTime rangeStart = DateTime::fromParts(2023, 12, 31);
const DateTime rangeEnd = DateTime::fromParts(2100, 1, 1);
constexpr int trains = 10;

struct Options
{
    QString server;
    long long readings = 1'000'000;
    long long sample = 10'000;
    int sensors = 200; // spread over the trains evenly
    QString work;
    QString procedure = QStringLiteral("plpgsql");
};

struct Measure
{
    long long rows = 0;
    double seconds = 0;
    double peakMb = 0;
    double cpuSeconds = 0;        // this process's own
    double serverCpuSeconds = -1; // the PostgreSQL server process's, where there is one
    double rate() const { return seconds > 0 ? rows / seconds : 0; }
};

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: zarn-bench-import --server sqlite|postgresql --readings N "
                         "[--sample K] [--sensors S] --work DIR [--procedure plpgsql|sql]\n");
    std::exit(2);
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (name == QLatin1String("--server"))
            options.server = value;
        else if (name == QLatin1String("--readings"))
            options.readings = value.toLongLong();
        else if (name == QLatin1String("--sample"))
            options.sample = value.toLongLong();
        else if (name == QLatin1String("--sensors"))
            options.sensors = value.toInt();
        else if (name == QLatin1String("--work"))
            options.work = value;
        else if (name == QLatin1String("--procedure"))
            options.procedure = value;
        else
            usage();
    }
    if ((options.server != QLatin1String("sqlite") &&
         options.server != QLatin1String("postgresql")) ||
        options.readings <= 0 || options.sample <= 0 || options.sensors < trains ||
        options.sensors % trains != 0 || options.work.isEmpty() ||
        (options.procedure != QLatin1String("plpgsql") &&
         options.procedure != QLatin1String("sql")))
        usage();
    return options;
}

// The peak resident memory since the last reset, in MB.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The CPU time that the server process of a PostgreSQL connection has used so far.
double serverCpuSeconds(dal::Connection &connection)
{
    const QString pid =
        connection.Execute(QStringLiteral("SELECT pg_backend_pid()")).Fields(0).Value().toText();
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command name, which ends with ")": utime and stime are 12th and 13th.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

Measure measure(long long rows, const std::function<void()> &work)
{
    resetPeakMemory();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    work();
    Measure m;
    m.rows = rows;
    m.seconds = timer.nsecsElapsed() / 1e9;
    m.cpuSeconds = cpuSeconds() - cpuBefore;
    m.peakMb = peakMemoryMb();
    return m;
}

// The generated source of one size, made once and reused by later runs.
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
    if (options.server == QLatin1String("sqlite"))
        return schema::StandInServer::sqlite(
            QDir(options.work).absoluteFilePath(QStringLiteral("catalogs")));
    const QString host = qEnvironmentVariable("ZARN_TEST_PG_HOST");
    const int port = qEnvironmentVariable("ZARN_TEST_PG_PORT").toInt();
    if (host.isEmpty() || port <= 0)
        throw std::runtime_error("ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT name no server");
    return schema::StandInServer::postgresql(host, port);
}

// An empty facility with one ZARN variable per sensor of the site, as the variable import
// leaves it.
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

// A user interface that shows nothing and remembers the last message.
class QuietUserInterface : public UserInterface
{
public:
    void showMessage(const Message &message) override { lastMessage = message.text; }
    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
    void setProgressVisible(bool) override {}
    void setProgressCount(std::int64_t, std::int64_t) override {}
    MousePointer mousePointer() const override { return MousePointer::Default; }
    void setMousePointer(MousePointer) override {}
    void processEvents() override {}
    void reportDetail(const QString &) override {}

    QString lastMessage;
};

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

// One reading as the daily-data store keeps it.
struct Row
{
    std::int32_t varId;
    DateTime slotStart, stamp;
    double value;
    QString text;
};

// Streams the readings of the site in source order, at most `limit`, as store rows.
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

void check(bool ok, const char *what)
{
    if (!ok)
        throw std::runtime_error(what);
}

Measure runImport(const Options &options, schema::StandInServer &server, dal::Connection &source)
{
    const auto facility = freshFacility(options, server, source);
    const auto root =
        schema::openConnection(server.catalogConnectionString(QStringLiteral("TAVROOT")));
    QuietUserInterface ui;
    Importer importer(ui, 2);
    importer.Init(source, *facility, *root, facilityFile);
    const bool onServer = options.server == QLatin1String("postgresql");
    const double serverBefore = onServer ? serverCpuSeconds(*facility) : 0;
    bool ok = false;
    Measure m = measure(options.readings, [&] {
        ok = importer.ImportData(rangeStart, rangeEnd, siteId, QString(), facilityFile);
    });
    if (onServer)
        m.serverCpuSeconds = serverCpuSeconds(*facility) - serverBefore;
    check(ok, "the import failed");
    check(ui.lastMessage ==
              QStringLiteral("Inserted %1 data records into ZARN database.").arg(options.readings),
          "the import did not write every reading");
    check(storedCount(*facility) == options.readings, "the store does not hold every reading");
    return m;
}

QByteArray copyLine(const Row &row, const QByteArray &auditTime)
{
    return QByteArray::number(row.varId) + '\t' + row.slotStart.toIsoText().toLatin1() + '\t' +
           row.stamp.toIsoText().toLatin1() + '\t' + QByteArray::number(row.value, 'g', 17) + '\t' +
           row.text.toUtf8() + '\t' + auditUser.toLatin1() + '\t' + auditTime + "\t0\t0\n";
}

// The same rows written the fastest way the server takes them.
Measure runBulk(const Options &options, schema::StandInServer &server, dal::Connection &source)
{
    const auto facility = freshFacility(options, server, source);
    const QString columns = QStringLiteral("varid, slotstarttime, datestamp, curvalue, textvalue, "
                                           "audituser, audittimestamp, status, forced");
    Measure m;
    if (options.server == QLatin1String("postgresql")) {
        const QByteArray auditTime = DateTime::now().toIsoText().toLatin1();
        const QString info =
            QStringLiteral("host=%1 port=%2 dbname=%3 user=postgres")
                .arg(qEnvironmentVariable("ZARN_TEST_PG_HOST"),
                     qEnvironmentVariable("ZARN_TEST_PG_PORT"), facilityFile.toLower());
        m = measure(options.readings, [&] {
            PgCopy copy(info, QStringLiteral("COPY DD1_VALUES (%1) FROM STDIN").arg(columns));
            forEachRow(source, *facility, options.readings,
                       [&](const Row &row) { copy.send(copyLine(row, auditTime)); });
            copy.finish();
        });
    } else {
        m = measure(options.readings, [&] {
            auto insert = facility->provider().prepare(
                QStringLiteral("INSERT INTO DD1_VALUES (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                    .arg(columns));
            dal::Transaction transaction(*facility);
            const Value auditTime(DateTime::now());
            forEachRow(source, *facility, options.readings, [&](const Row &row) {
                insert->execute({Value(row.varId), Value(row.slotStart), Value(row.stamp),
                                 Value(row.value), Value(row.text), Value(auditUser), auditTime,
                                 Value(std::int32_t{0}), Value(std::int32_t{0})});
            });
            transaction.commit();
        });
    }
    check(storedCount(*facility) == options.readings, "the bulk load lost rows");
    return m;
}

// One procedure call and one commit per reading, as the original import ran.
Measure runOriginal(const Options &options, schema::StandInServer &server, dal::Connection &source)
{
    const auto facility = freshFacility(options, server, source);
    DataDDInt store;
    store.Init(*facility, auditUser);
    store.ConnectTo(1440);
    long long written = 0;
    Measure m = measure(options.sample, [&] {
        written = forEachRow(source, *facility, options.sample, [&](const Row &row) {
            store.WriteData(row.slotStart, row.stamp, row.varId, row.value, row.text);
        });
    });
    check(written == options.sample, "the sample is larger than the site");
    return m;
}

int run(const Options &options)
{
    const auto source = schema::openConnection(sourceDatabase(options));
    const auto server = facilityServer(options);
    server->createRootCatalog();

    const Measure import = runImport(options, *server, *source);
    const Measure bulk = runBulk(options, *server, *source);
    const Measure original = runOriginal(options, *server, *source);

    QTextStream out(stdout);
    out << QStringLiteral("%1, %2 readings, %3 sensors\n")
               .arg(options.server == QLatin1String("postgresql")
                        ? QStringLiteral("postgresql (%1 write procedure)").arg(options.procedure)
                        : options.server)
               .arg(options.readings)
               .arg(options.sensors);
    out << QStringLiteral("  import    %1 s  %2 readings/s  peak %3 MB  client CPU %4 s  "
                          "(%5 of bulk)\n")
               .arg(import.seconds, 0, 'f', 1)
               .arg(import.rate(), 0, 'f', 0)
               .arg(import.peakMb, 0, 'f', 1)
               .arg(import.cpuSeconds, 0, 'f', 1)
               .arg(import.rate() / bulk.rate(), 0, 'f', 2);
    if (import.serverCpuSeconds >= 0)
        out << QStringLiteral("            server CPU %1 s\n")
                   .arg(import.serverCpuSeconds, 0, 'f', 1);
    out << QStringLiteral("  bulk      %1 s  %2 readings/s  peak %3 MB  client CPU %4 s\n")
               .arg(bulk.seconds, 0, 'f', 1)
               .arg(bulk.rate(), 0, 'f', 0)
               .arg(bulk.peakMb, 0, 'f', 1)
               .arg(bulk.cpuSeconds, 0, 'f', 1);
    out << QStringLiteral("  original  %1 s  %2 readings/s  (one call and one commit per "
                          "reading, %3 readings)\n")
               .arg(original.seconds, 0, 'f', 1)
               .arg(original.rate(), 0, 'f', 0)
               .arg(original.rows);
    out << QStringLiteral("  import is %1 times the original\n")
               .arg(import.rate() / original.rate(), 0, 'f', 1);
    return 0;
}

} // namespace
} // namespace zarn::bench

int main(int argc, char **argv)
{
    const zarn::bench::Options options = zarn::bench::parseOptions(argc, argv);
    try {
        return zarn::bench::run(options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
}
