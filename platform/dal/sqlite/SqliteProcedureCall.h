#pragma once

#include "platform/dal/Provider.h"

#include <QString>
#include <memory>
#include <vector>

struct sqlite3;

namespace zarn::dal::sqlite {

// A stored procedure kept as SQL text in the table stored_procedures, called on the
// connection.
std::unique_ptr<ProcedureCall> prepareProcedureCall(sqlite3 *db, const QString &name,
                                                    const std::vector<Parameter> &parameters);

} // namespace zarn::dal::sqlite
