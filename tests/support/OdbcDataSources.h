#pragma once

#include <QString>

namespace zarn::test {

// The ODBC data sources of the test runs, each defined once per process in temporary
// configuration files that the driver manager finds through ODBCSYSINI and ODBCINI.

// "zarn_test": the PostgreSQL test server (ZARN_TEST_PG_HOST, ZARN_TEST_PG_PORT) through the
// driver that ZARN_TEST_ODBC_DRIVER names.
QString odbcTestDataSource();
// "zarn_mariadb": the MariaDB test server (ZARN_TEST_MARIADB_HOST, ZARN_TEST_MARIADB_PORT)
// through the driver that ZARN_TEST_MARIADB_ODBC_DRIVER names.
QString mariadbTestDataSource();
// A data source of its own for a PostgreSQL server at host:port, as odbcTestDataSource() is for
// the test server; each call defines a new one.
QString ownPostgresDataSource(const QString &host, const QString &port);
// A data source of its own for a MariaDB server at host:port, as mariadbTestDataSource() is for
// the test server; each call defines a new one.
QString ownMariadbDataSource(const QString &host, const QString &port);

} // namespace zarn::test
