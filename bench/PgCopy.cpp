#include "bench/PgCopy.h"

#include <libpq-fe.h>
#include <stdexcept>
#include <string>

namespace zarn::bench {

struct PgCopy::Impl
{
    PGconn *connection = nullptr;
    QByteArray buffer;

    [[noreturn]] void fail(const char *what) const
    {
        throw std::runtime_error(std::string(what) + ": " + PQerrorMessage(connection));
    }

    void sendBuffer()
    {
        if (!buffer.isEmpty() &&
            PQputCopyData(connection, buffer.constData(), static_cast<int>(buffer.size())) != 1)
            fail("COPY data");
        buffer.clear();
    }
};

PgCopy::PgCopy(const QString &connectionInfo, const QString &copyStatement) : d(new Impl)
{
    d->connection = PQconnectdb(connectionInfo.toUtf8().constData());
    if (PQstatus(d->connection) != CONNECTION_OK)
        d->fail("connect");
    PGresult *result = PQexec(d->connection, copyStatement.toUtf8().constData());
    const bool started = PQresultStatus(result) == PGRES_COPY_IN;
    PQclear(result);
    if (!started)
        d->fail("COPY");
}

PgCopy::~PgCopy()
{
    PQfinish(d->connection);
}

void PgCopy::send(const QByteArray &line)
{
    d->buffer += line;
    if (d->buffer.size() >= 1 << 20)
        d->sendBuffer();
}

void PgCopy::finish()
{
    d->sendBuffer();
    if (PQputCopyEnd(d->connection, nullptr) != 1)
        d->fail("COPY end");
    bool ok = true;
    while (PGresult *result = PQgetResult(d->connection)) {
        ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    if (!ok)
        d->fail("COPY result");
}

int PgCopy::backendPid() const
{
    return PQbackendPID(d->connection);
}

} // namespace zarn::bench
