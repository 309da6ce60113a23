#pragma once

#include "platform/dal/Provider.h"

#include <memory>

namespace zarn::dal {

// The provider for SQLite database files, over the SQLite library.
std::unique_ptr<Provider> createSqliteProvider();

} // namespace zarn::dal
