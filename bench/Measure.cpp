#include "bench/Measure.h"

#include "platform/dal/Recordset.h"

#include <QElapsedTimer>
#include <QFile>
#include <sys/resource.h>
#include <unistd.h>

namespace zarn::bench {

namespace {

// Starts a new peak of resident memory for this process.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The peak resident memory since the last reset, in MB.
double peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The CPU time that a process has used so far; nothing where its figures cannot be read (a
// server on another machine).
std::optional<double> processCpuSeconds(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The fields after the command name, which ends with ")": utime and stime are 12th and 13th.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

std::optional<double> Measure::serverMicrosPerRow() const
{
    if (!serverCpuSeconds || rows <= 0)
        return std::nullopt;
    return *serverCpuSeconds * 1e6 / static_cast<double>(rows);
}

std::optional<double> Measure::serverBusy() const
{
    if (!serverCpuSeconds || seconds <= 0)
        return std::nullopt;
    return *serverCpuSeconds / seconds;
}

int backendPid(dal::Connection &connection)
{
    return connection.Execute(QStringLiteral("SELECT pg_backend_pid()"))
        .Fields(0)
        .Value()
        .toInt32();
}

Measure measure(long long rows, std::optional<int> serverPid, const std::function<void()> &work)
{
    const auto serverCpu = [&]() -> std::optional<double> {
        return serverPid ? processCpuSeconds(*serverPid) : std::nullopt;
    };
    resetPeakMemory();
    const std::optional<double> serverBefore = serverCpu();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    work();
    Measure m;
    m.rows = rows;
    m.seconds = timer.nsecsElapsed() / 1e9;
    m.cpuSeconds = cpuSeconds() - cpuBefore;
    m.peakMb = peakMemoryMb();
    const std::optional<double> serverAfter = serverCpu();
    if (serverBefore && serverAfter)
        m.serverCpuSeconds = *serverAfter - *serverBefore;
    return m;
}

} // namespace zarn::bench
