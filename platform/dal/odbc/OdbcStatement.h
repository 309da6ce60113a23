#pragma once

#include "platform/dal/Provider.h"
#include "platform/dal/odbc/OdbcSession.h"

#include <QString>
#include <memory>

namespace zarn::dal::odbc {

// A statement prepared once and executed with values bound by their kind. Its rows stream
// through SQLFetch, a row at a time; whether other statements can run on the connection while
// they do is the driver's matter. psqlODBC reads a result whole at execution, or a cursor's
// batch at a time where the data source sets UseDeclareFetch=1 (flat memory for streamed
// record sets); MariaDB Connector/ODBC reads a result whole. Either way other statements may run
// meanwhile; a driver that allows only one active statement per connection refuses them.
std::unique_ptr<Statement> prepareStatement(std::shared_ptr<Session> session, const QString &sql);

} // namespace zarn::dal::odbc
