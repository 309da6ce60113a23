#pragma once

#include "platform/dal/odbc/OdbcSockets.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A bound on the driver's waits that holds when the server stops answering altogether: a driver
// sets its query time-out on the server, and waits for the answer without a limit of its own.
namespace zarn::dal::odbc {

using SqlHandle = void *; // as OdbcSession.h declares it

// One thread per session that watches each driver call that may wait for the server. A call
// that has not returned within the limit is cancelled (SQLCancel, on a thread of its own, as it
// may itself wait for the server); when it has not returned a moment later either, the
// session's sockets are shut down, which ends the driver's wait with a failure. Arming and
// disarming take a lock and read the clock; the thread is woken only when it has nothing to
// watch.
class Watchdog
{
public:
    enum class Outcome {
        InTime,    // the call returned before the limit
        Cancelled, // the call was cancelled at the limit
        Dropped,   // nor did it return after the cancel: the session's sockets are shut down
    };

    Watchdog(std::chrono::milliseconds limit, DriverSockets sockets);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Before a call; `statement` is what a cancel applies to (null for a call on the
    // connection, which is not cancelled but dropped at once). Calls are not nested.
    void arm(SqlHandle statement);
    // After the call: what the watchdog had to do. A cancel still under way is waited for
    // briefly, so that the statement is not freed under it.
    Outcome disarm();
    // Shuts the session's sockets down, for a connection that is given up.
    void dropConnection() const { m_sockets.shutDown(); }
    // True when a cancel request never came back: the driver may still be using the session's
    // handles on that thread, so they must be left to it.
    bool cancelOutstanding() const { return m_cancelOutstanding; }

private:
    struct CancelRequest;
    using Clock = std::chrono::steady_clock;

    void watch();
    void expire(std::unique_lock<std::mutex> &lock);

    const std::chrono::milliseconds m_limit;
    const DriverSockets m_sockets;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    unsigned long long m_call = 0; // the number of the call armed last
    SqlHandle m_statement = nullptr;
    Clock::time_point m_deadline;
    bool m_armed = false;
    bool m_idle = false; // the thread waits for a call to watch, not for a deadline
    bool m_stopping = false;
    Outcome m_outcome = Outcome::InTime;
    std::shared_ptr<CancelRequest> m_cancel; // the cancel of the armed call, until disarmed
    bool m_cancelOutstanding = false;
    std::thread m_thread;
};

// A bound on a connect that the driver's login time-out does not hold: a server that takes the
// connection but never answers it keeps a driver waiting for its greeting (MariaDB
// Connector/ODBC's login time-out bounds the connection itself only). When the connect has not
// returned at the limit, the sockets that appeared since it began, which are the driver's as
// connects take turns, are shut down: its wait ends with a failure.
class ConnectWatchdog
{
public:
    ConnectWatchdog(std::chrono::milliseconds limit, std::vector<OpenSocket> before);
    ~ConnectWatchdog();
    ConnectWatchdog(const ConnectWatchdog &) = delete;
    ConnectWatchdog &operator=(const ConnectWatchdog &) = delete;

    // After the connect returned: whether the watchdog ended it.
    bool finish();

private:
    void watch(std::chrono::milliseconds limit);

    const std::vector<OpenSocket> m_before;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    bool m_done = false;
    bool m_ended = false;
    std::thread m_thread;
};

} // namespace zarn::dal::odbc
