#pragma once

// Stored-procedure calls of the PostgreSQL provider: one by one, pipelined, and in batches of
// one statement over parameter arrays.

#include "platform/dal/postgresql/PgSession.h"

#include <memory>

namespace zarn::dal::pg {

std::unique_ptr<ProcedureCall> makeProcedureCall(const std::shared_ptr<Session> &session,
                                                 const QString &name,
                                                 const std::vector<Parameter> &parameters);

} // namespace zarn::dal::pg
