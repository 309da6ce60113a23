#pragma once

#include "support/OwnServer.h"

namespace zarn::test {

// A PostgreSQL server of a test's own, started by the project's cluster script with a real
// server's durability (a server stopped at once keeps what it committed only when it flushed
// it).
class OwnPostgresServer : public OwnServer
{
public:
    OwnPostgresServer();

    // The server's main process (the postmaster).
    pid_t postmaster() const { return serverProcess(); }
};

} // namespace zarn::test
