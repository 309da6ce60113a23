#pragma once

#include "schema/StandIn.h"

#include <QString>
#include <memory>

namespace zarn::test {

// The server that a database test runs against: "sqlite" (when ZARN_TEST_SERVER is unset),
// "postgresql", or "odbc" (the PostgreSQL server through its ODBC driver, which
// ZARN_TEST_ODBC_DRIVER names). Throws std::runtime_error for any other value.
QString serverUnderTest();

// The data source "zarn_test": the PostgreSQL test server through the ODBC driver that
// ZARN_TEST_ODBC_DRIVER names. It is defined once per process in temporary configuration files
// that the driver manager finds through ODBCSYSINI and ODBCINI.
QString odbcTestDataSource();

// A stand-in ZARN server on the server under test. On SQLite its catalogs and source databases
// are files in folder; on PostgreSQL they are databases on the server that ZARN_TEST_PG_HOST and
// ZARN_TEST_PG_PORT name, reached directly or through ODBC. Throws std::runtime_error when those
// are missing: a PostgreSQL run without a server fails, it never passes by skipping.
std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder);
// The same on PostgreSQL with the given names and roles (on SQLite the set-up has no meaning
// and the call throws std::runtime_error). What it creates is dropped with it.
std::unique_ptr<schema::StandInServer> makePostgresStandIn(const schema::PostgresSetUp &setUp);

} // namespace zarn::test
