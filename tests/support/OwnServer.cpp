#include "support/OwnServer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

namespace zarn::test {

OwnServer::OwnServer(const QString &script, const QMap<QString, QString> &environment,
                     const QString &pidFile)
    : m_script(script), m_environment(environment), m_pidFile(pidFile)
{
    if (!m_folder.isValid()) {
        ADD_FAILURE() << "no folder for a server of the test's own";
        return;
    }
    const QString printed = this->script(QStringLiteral("start"));
    const QRegularExpressionMatch address =
        QRegularExpression(QStringLiteral("_HOST=(\\S+) \\S+_PORT=(\\d+)")).match(printed);
    if (!address.hasMatch()) {
        ADD_FAILURE() << "the server of the test's own did not start: " << printed.toStdString();
        return;
    }
    m_host = address.captured(1);
    m_port = address.captured(2);
}

OwnServer::~OwnServer()
{
    if (started())
        script(QStringLiteral("stop"));
}

pid_t OwnServer::serverProcess() const
{
    QFile file(m_folder.filePath(m_pidFile));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<pid_t>(file.readLine().trimmed().toInt());
}

void OwnServer::run(const QString &verb)
{
    script(verb);
}

QString OwnServer::script(const QString &verb)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = m_environment.cbegin(); it != m_environment.cend(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("bash"), {m_script, verb, m_folder.path()});
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
