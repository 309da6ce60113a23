#pragma once

// Opening a connection of the PostgreSQL provider.

#include "platform/dal/postgresql/PgSession.h"

#include <memory>

namespace zarn::dal::pg {

// Connects with the options (database and role names as written, then in lower case once
// where the server has no such database or role) and fixes the session's settings.
std::shared_ptr<Session> openSession(const ConnectionOptions &options);

} // namespace zarn::dal::pg
