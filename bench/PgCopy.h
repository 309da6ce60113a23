#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace zarn::bench {

// Rows sent to a PostgreSQL table with COPY ... FROM STDIN in text format: the bulk limit that
// the data import is measured against.
class PgCopy
{
public:
    // Connects with a libpq connection-info text and starts the COPY statement.
    PgCopy(const QString &connectionInfo, const QString &copyStatement);
    ~PgCopy();
    PgCopy(const PgCopy &) = delete;
    PgCopy &operator=(const PgCopy &) = delete;

    // One line of the COPY text format, ending in a newline.
    void send(const QByteArray &line);
    // Ends the COPY and waits for the server to store the rows; throws std::runtime_error.
    void finish();
    // The process id of the server's backend that runs the COPY.
    int backendPid() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zarn::bench
