#pragma once

#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <sys/types.h>

namespace zarn::test {

// A database server of a test's own, for faults that must leave the shared test server alone:
// started in a temporary folder by one of the project's server scripts (which print the
// server's host and port), stopped with the object.
class OwnServer
{
public:
    // Starts the server by the script, with the variables added to its environment; the server
    // writes its main process's id into pidFile, a path inside the folder. A failure to start
    // is reported to the running test.
    OwnServer(const QString &script, const QMap<QString, QString> &environment,
              const QString &pidFile);
    virtual ~OwnServer();
    OwnServer(const OwnServer &) = delete;
    OwnServer &operator=(const OwnServer &) = delete;

    bool started() const { return !m_port.isEmpty(); }
    const QString &host() const { return m_host; }
    const QString &port() const { return m_port; }
    // The server's main process; 0 when its pid file cannot be read.
    pid_t serverProcess() const;
    // Stops the server at once, as in a crash ("halt"), or starts it again ("resume").
    void run(const QString &verb);

private:
    QString script(const QString &verb);

    QString m_script;
    QMap<QString, QString> m_environment;
    QString m_pidFile;
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
