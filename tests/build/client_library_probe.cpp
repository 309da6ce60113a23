// Must not compile: the database servers' client libraries are private to the database access
// layer, so what links the engine does not see their headers.
#include <libpq-fe.h>

int probeClientLibrary()
{
    return PQlibVersion();
}
