#pragma once

#include "platform/DateTime.h"
#include "platform/dal/Connection.h"
#include "schema/StandIn.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace zarn::bench {

// Where the facility lives: a SQLite file, the PostgreSQL server by its own provider, the same
// server through its ODBC driver, or the MariaDB server through its ODBC driver.
enum class Server { sqlite, postgresql, odbc, mariadb };

struct Options
{
    Server server = Server::sqlite;
    long long readings = 1'000'000;
    long long sample = 10'000;
    int sensors = 200; // spread over the trains evenly
    QString work;
    QString procedure = QStringLiteral("plpgsql");
};

inline constexpr int trains = 10;
extern const QString facilityFile;
extern const QString siteId;
extern const QString auditUser;
extern const DateTime rangeStart;
extern const DateTime rangeEnd;

// The connection string of the generated source of the run's size: a SQLite file in the work
// folder, made once and reused by later runs.
QString sourceDatabase(const Options &options);

// The stand-in server of the run's facility, with an empty root catalog.
std::unique_ptr<schema::StandInServer> facilityServer(const Options &options);

// An empty facility with one ZARN variable per sensor of the site, as the variable import leaves
// it, and with the run's kind of write procedure.
std::unique_ptr<dal::Connection>
freshFacility(const Options &options, schema::StandInServer &server, dal::Connection &source);

// The process of the MariaDB server, as its pid file names it, where that file can be read.
std::optional<int> mariadbServerProcess(dal::Connection &connection);

// The libpq connection-info text of the facility's database on the PostgreSQL server.
QString facilityConnectionInfo(const Options &options);

// One reading as the daily-data store keeps it.
struct Row
{
    std::int32_t varId;
    DateTime slotStart, stamp;
    double value;
    QString text;
};

// Streams the readings of the site in source order, at most `limit`, as store rows, and returns
// how many it streamed.
long long forEachRow(dal::Connection &source, dal::Connection &facility, long long limit,
                     const std::function<void(const Row &)> &use);

long long storedCount(dal::Connection &facility);

// Throws std::runtime_error with `what` unless `ok`.
void check(bool ok, const char *what);

} // namespace zarn::bench
