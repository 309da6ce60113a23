// Times the data import of a generated site into a SQLite facility, or into a PostgreSQL one
// reached by its own provider or through ODBC, and its verification, against the bulk limit for
// the same rows and against one call and one commit per reading.
//
//   zarn-bench-import --server sqlite|postgresql|odbc|mariadb --readings N [--sample K] [--sensors
//   S]
//                     --work DIR [--procedure plpgsql|sql]
//
// The source is a SQLite file in DIR, generated once per size and reused. PostgreSQL is the
// server that ZARN_TEST_PG_HOST and ZARN_TEST_PG_PORT name (scripts/benchmark starts one); ODBC
// reaches the same server through a data source that the benchmark defines in DIR. There the
// facility's write procedure is the PL/pgSQL stand-in, or with --procedure sql the SQL-language
// one. MariaDB is the server that ZARN_TEST_MARIADB_HOST and ZARN_TEST_MARIADB_PORT name, reached
// through its ODBC driver with a data source defined in DIR; its write procedure is the
// stand-in's PROCEDURE. Each run prints its figures, then one RESULT line of name=value pairs for
// tabulating.

#include "bench/Runs.h"

#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace zarn::bench {
namespace {

[[noreturn]] void usage()
{
    std::fprintf(stderr,
                 "usage: zarn-bench-import --server sqlite|postgresql|odbc|mariadb --readings N "
                 "[--sample K] [--sensors S] --work DIR [--procedure plpgsql|sql]\n");
    std::exit(2);
}

Server serverNamed(const QString &name)
{
    if (name == QLatin1String("sqlite"))
        return Server::sqlite;
    if (name == QLatin1String("postgresql"))
        return Server::postgresql;
    if (name == QLatin1String("odbc"))
        return Server::odbc;
    if (name == QLatin1String("mariadb"))
        return Server::mariadb;
    usage();
}

QString serverName(Server server)
{
    switch (server) {
    case Server::sqlite:
        return QStringLiteral("sqlite");
    case Server::postgresql:
        return QStringLiteral("postgresql");
    case Server::odbc:
        return QStringLiteral("odbc");
    case Server::mariadb:
        return QStringLiteral("mariadb");
    }
    return QString();
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    bool serverGiven = false;
    bool procedureGiven = false;
    if (argc % 2 == 0)
        usage();
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString name = QString::fromLocal8Bit(argv[i]);
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (name == QLatin1String("--server")) {
            options.server = serverNamed(value);
            serverGiven = true;
        } else if (name == QLatin1String("--readings")) {
            options.readings = value.toLongLong();
        } else if (name == QLatin1String("--sample")) {
            options.sample = value.toLongLong();
        } else if (name == QLatin1String("--sensors")) {
            options.sensors = value.toInt();
        } else if (name == QLatin1String("--work")) {
            options.work = value;
        } else if (name == QLatin1String("--procedure")) {
            options.procedure = value;
            procedureGiven = true;
        } else {
            usage();
        }
    }
    // SQLite and MariaDB have one kind of write procedure only.
    const bool oneProcedure = options.server == Server::sqlite || options.server == Server::mariadb;
    if (!serverGiven || (procedureGiven && oneProcedure) || options.readings <= 0 ||
        options.sample <= 0 || options.sensors < trains || options.sensors % trains != 0 ||
        options.work.isEmpty() ||
        (options.procedure != QLatin1String("plpgsql") &&
         options.procedure != QLatin1String("sql")))
        usage();
    return options;
}

// A figure that may be missing (no server process to read), as "-" where it is.
QString figure(std::optional<double> value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
}

QString describe(const QString &label, const Measure &m)
{
    const std::optional<double> perRow = m.serverMicrosPerRow();
    const std::optional<double> busy = m.serverBusy();
    const QString server = perRow && busy ? QStringLiteral(", server %1 us/reading (busy %2%)")
                                                .arg(*perRow, 0, 'f', 1)
                                                .arg(*busy * 100, 0, 'f', 0)
                                          : QString();
    return QStringLiteral("  %1 %2 readings in %3 s: %4 readings/s%5, peak %6 MB, "
                          "client CPU %7 s\n")
        .arg(label, -9)
        .arg(m.rows)
        .arg(m.seconds, 0, 'f', 1)
        .arg(m.rate(), 0, 'f', 0)
        .arg(server)
        .arg(m.peakMb, 0, 'f', 1)
        .arg(m.cpuSeconds, 0, 'f', 1);
}

void report(const Options &options, const ImportMeasures &run, const Measure &bulk,
            const Measure &original)
{
    const Measure &import = run.import;
    const double verifyRatio = run.verify.rate() / import.rate();
    const QString procedure = options.server == Server::sqlite || options.server == Server::mariadb
                                  ? QStringLiteral("-")
                                  : options.procedure;
    const double ratio = import.rate() / bulk.rate();
    QTextStream out(stdout);
    out << QStringLiteral("%1 (write procedure %2), %3 readings, %4 sensors\n")
               .arg(serverName(options.server), procedure)
               .arg(options.readings)
               .arg(options.sensors);
    out << describe(QStringLiteral("import"), import);
    out << describe(QStringLiteral("verify"), run.verify);
    out << describe(QStringLiteral("bulk"), bulk);
    out << describe(QStringLiteral("original"), original);
    out << QStringLiteral("  import: %1 of the bulk limit, %2 times the original (one call and "
                          "one commit per reading)\n")
               .arg(ratio, 0, 'f', 2)
               .arg(import.rate() / original.rate(), 0, 'f', 1);
    out << QStringLiteral("  verify: %1 times the import's rate\n").arg(verifyRatio, 0, 'f', 2);
    out << QStringLiteral("RESULT server=%1 procedure=%2 readings=%3 sensors=%4 rate=%5 ratio=%6 "
                          "server_us_per_call=%7 server_busy=%8 peak_mb=%9 bulk_rate=%10 "
                          "bulk_server_us_per_row=%11 original_rate=%12 original_readings=%13 "
                          "verify_rate=%14 verify_ratio=%15 verify_server_us_per_reading=%16 "
                          "verify_peak_mb=%17\n")
               .arg(serverName(options.server), procedure)
               .arg(options.readings)
               .arg(options.sensors)
               .arg(import.rate(), 0, 'f', 0)
               .arg(ratio, 0, 'f', 3)
               .arg(figure(import.serverMicrosPerRow(), 1))
               .arg(figure(import.serverBusy(), 2))
               .arg(import.peakMb, 0, 'f', 1)
               .arg(bulk.rate(), 0, 'f', 0)
               .arg(figure(bulk.serverMicrosPerRow(), 1))
               .arg(original.rate(), 0, 'f', 0)
               .arg(original.rows)
               .arg(run.verify.rate(), 0, 'f', 0)
               .arg(verifyRatio, 0, 'f', 3)
               .arg(figure(run.verify.serverMicrosPerRow(), 1))
               .arg(run.verify.peakMb, 0, 'f', 1);
}

int run(const Options &options)
{
    const auto source = schema::openConnection(sourceDatabase(options));
    const auto server = facilityServer(options);
    const ImportMeasures import = runImport(options, *server, *source);
    const Measure bulk = runBulk(options, *server, *source);
    const Measure original = runOriginal(options, *server, *source);
    report(options, import, bulk, original);
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
