#pragma once

#include <QString>
#include <QTemporaryDir>
#include <sys/types.h>

namespace zarn::test {

// A PostgreSQL server of a test's own, for faults that must leave the shared test server alone:
// started by the project's cluster script with a real server's durability (a server stopped at
// once keeps what it committed only when it flushed it), stopped with the object.
class OwnPostgresServer
{
public:
    // Starts the server; a failure to start is reported to the running test.
    OwnPostgresServer();
    ~OwnPostgresServer();
    OwnPostgresServer(const OwnPostgresServer &) = delete;
    OwnPostgresServer &operator=(const OwnPostgresServer &) = delete;

    bool started() const { return !m_port.isEmpty(); }
    const QString &host() const { return m_host; }
    const QString &port() const { return m_port; }
    // The server's main process; 0 when its pid file cannot be read.
    pid_t postmaster() const;
    // Stops the server at once, as in a crash ("halt"), or starts it again ("resume").
    void run(const QString &verb);

private:
    QString script(const QString &verb);

    QTemporaryDir m_folder;
    QString m_host;
    QString m_port;
};

// A process stopped (SIGSTOP) until the guard ends, so that a server is never left frozen.
class StoppedProcess
{
public:
    explicit StoppedProcess(pid_t pid);
    ~StoppedProcess();
    StoppedProcess(const StoppedProcess &) = delete;
    StoppedProcess &operator=(const StoppedProcess &) = delete;
    bool stopped() const { return m_stopped; }

private:
    pid_t m_pid;
    bool m_stopped;
};

} // namespace zarn::test
