#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/RowSet.h"
#include "platform/dal/TableWriter.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace zarn::dal {

// Every row of the query fetched at once and held on the client; with the table it reads, its
// rows can be added, changed and deleted (unless read-only).
std::unique_ptr<RowSet> openStaticRows(Connection &connection, const QString &sql,
                                       const std::vector<Value> &params, bool readOnly,
                                       std::optional<TableRef> table);

} // namespace zarn::dal
