#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/RowSet.h"

#include <QString>
#include <memory>
#include <vector>

namespace zarn::dal {

// The rows of a single query, read forward one at a time in a read snapshot of the connection
// that ends when they are closed, with their exact count taken in the same snapshot.
std::unique_ptr<RowSet> openStreamedRows(Connection &connection, const QString &sql,
                                         const std::vector<Value> &params);

} // namespace zarn::dal
