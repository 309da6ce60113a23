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

} // namespace zarn::test
