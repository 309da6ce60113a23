#include "support/OwnPostgresServer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

namespace zarn::test {

OwnPostgresServer::OwnPostgresServer()
{
    if (!m_folder.isValid()) {
        ADD_FAILURE() << "no folder for a server of the test's own";
        return;
    }
    const QString printed = script(QStringLiteral("start"));
    const QRegularExpressionMatch address =
        QRegularExpression(QStringLiteral("ZARN_TEST_PG_HOST=(\\S+) ZARN_TEST_PG_PORT=(\\d+)"))
            .match(printed);
    if (!address.hasMatch()) {
        ADD_FAILURE() << "the server of the test's own did not start: " << printed.toStdString();
        return;
    }
    m_host = address.captured(1);
    m_port = address.captured(2);
}

OwnPostgresServer::~OwnPostgresServer()
{
    if (started())
        script(QStringLiteral("stop"));
}

pid_t OwnPostgresServer::postmaster() const
{
    QFile file(m_folder.filePath(QStringLiteral("data/postmaster.pid")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<pid_t>(file.readLine().trimmed().toInt());
}

void OwnPostgresServer::run(const QString &verb)
{
    script(verb);
}

QString OwnPostgresServer::script(const QString &verb)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PG_CLUSTER_DURABLE"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("bash"),
                  {QStringLiteral(ZARN_PG_CLUSTER_SCRIPT), verb, m_folder.path()});
    const bool finished = process.waitForFinished(120'000);
    EXPECT_TRUE(finished && process.exitCode() == 0)
        << verb.toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

StoppedProcess::StoppedProcess(pid_t pid)
    : m_pid(pid), m_stopped(pid > 0 && ::kill(pid, SIGSTOP) == 0)
{}

StoppedProcess::~StoppedProcess()
{
    if (m_stopped)
        ::kill(m_pid, SIGCONT);
}

} // namespace zarn::test
