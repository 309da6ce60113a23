#pragma once

#include "platform/dal/Provider.h"

#include <memory>

namespace zarn::dal {

// The provider for ODBC data sources, over the platform's ODBC driver manager.
std::unique_ptr<Provider> createOdbcProvider();

} // namespace zarn::dal
