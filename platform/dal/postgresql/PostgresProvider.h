#pragma once

#include "platform/dal/Provider.h"

#include <memory>

namespace zarn::dal {

// The provider for PostgreSQL servers, over the server's own client library.
std::unique_ptr<Provider> createPostgresProvider();

} // namespace zarn::dal
