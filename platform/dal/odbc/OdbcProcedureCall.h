#pragma once

#include "platform/dal/Provider.h"
#include "platform/dal/odbc/OdbcSession.h"

#include <QString>
#include <memory>
#include <vector>

namespace zarn::dal::odbc {

// A stored procedure through the driver's call escape, {CALL name(?, ...)}, with every parameter
// bound by position. Queued calls go as parameter arrays where the driver takes them.
std::unique_ptr<ProcedureCall> prepareProcedureCall(std::shared_ptr<Session> session,
                                                    const QString &name,
                                                    const std::vector<Parameter> &parameters);

} // namespace zarn::dal::odbc
