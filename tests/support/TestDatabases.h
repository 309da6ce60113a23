#pragma once

#include "schema/StandIn.h"
#include "support/OdbcDataSources.h"
#include "support/ServerContext.h"

#include <QString>
#include <memory>

namespace zarn::test {

// The server that a database test runs against, as ZARN_TEST_SERVER names it: "sqlite" (when
// unset), "postgresql", "odbc" (the PostgreSQL server through its ODBC driver) or "mariadb" (the
// MariaDB server through its ODBC driver). Throws std::runtime_error for any other value.
QString serverUnderTest();

// A stand-in ZARN server on the server under test (serverContext().makeStandIn): on SQLite its
// catalogs and source databases are files in folder; on the other servers databases on the test
// server. Throws std::runtime_error when the server's address is missing: a server run without a
// server fails, it never passes by skipping.
std::unique_ptr<schema::StandInServer> makeStandIn(const QString &folder);
// The same on PostgreSQL with the given names and roles (on another server the set-up has no
// meaning and the call throws std::runtime_error). What it creates is dropped with it.
std::unique_ptr<schema::StandInServer> makePostgresStandIn(const schema::PostgresSetUp &setUp);

} // namespace zarn::test
