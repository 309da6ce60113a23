#include "support/OwnPostgresServer.h"

namespace zarn::test {

OwnPostgresServer::OwnPostgresServer()
    : OwnServer(QStringLiteral(ZARN_PG_CLUSTER_SCRIPT),
                {{QStringLiteral("PG_CLUSTER_DURABLE"), QStringLiteral("1")}},
                QStringLiteral("data/postmaster.pid"))
{}

} // namespace zarn::test
