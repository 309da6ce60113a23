#pragma once

#include "platform/dal/Connection.h"

#include <functional>
#include <optional>

namespace zarn::bench {

// What one timed run did: its rows, wall time, peak memory and the CPU time of this process and
// of the database server's process that served it. Linux only: the figures come from /proc.
struct Measure
{
    long long rows = 0;
    double seconds = 0;
    double peakMb = 0;
    double cpuSeconds = 0;                  // this process's own
    std::optional<double> serverCpuSeconds; // the server process's, where there is one

    double rate() const { return seconds > 0 ? rows / seconds : 0; }
    // The server's CPU time per row, in microseconds.
    std::optional<double> serverMicrosPerRow() const;
    // The share of the wall time that the server process was busy.
    std::optional<double> serverBusy() const;
};

// The process id of the PostgreSQL backend that serves a connection, asked through the
// connection itself, so that it is the same backend whichever provider reaches it.
int backendPid(dal::Connection &connection);

// Times `work` over `rows` rows; with a server process, its CPU time during the work too.
Measure measure(long long rows, std::optional<int> serverPid, const std::function<void()> &work);

} // namespace zarn::bench
