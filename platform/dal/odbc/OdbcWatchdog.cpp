#include "platform/dal/odbc/OdbcWatchdog.h"

#include <sql.h>
#include <utility>

namespace zarn::dal::odbc {
namespace {

// How long a cancelled call is given to return before the sockets are shut down, and how long
// a cancel request that has not come back is waited for after the call.
constexpr std::chrono::milliseconds cancelMargin{1000};

} // namespace

struct Watchdog::CancelRequest
{
    std::mutex mutex;
    std::condition_variable returned;
    bool done = false;
};

Watchdog::Watchdog(std::chrono::milliseconds limit, DriverSockets sockets)
    : m_limit(limit), m_sockets(std::move(sockets)), m_thread([this] { watch(); })
{}

Watchdog::~Watchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void Watchdog::arm(SqlHandle statement)
{
    const Clock::time_point deadline = Clock::now() + m_limit;
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        ++m_call;
        m_statement = statement;
        m_deadline = deadline;
        m_armed = true;
        wake = m_idle;
    }
    // A thread waiting for an earlier deadline wakes by itself and waits again for this one.
    if (wake)
        m_changed.notify_all();
}

Watchdog::Outcome Watchdog::disarm()
{
    std::shared_ptr<CancelRequest> cancel;
    Outcome outcome = Outcome::InTime;
    {
        const std::lock_guard lock(m_mutex);
        m_armed = false;
        m_statement = nullptr;
        outcome = std::exchange(m_outcome, Outcome::InTime);
        cancel = std::move(m_cancel);
    }
    if (outcome == Outcome::InTime)
        return outcome;
    m_changed.notify_all(); // the thread waiting for the cancelled call to return
    if (cancel) {
        std::unique_lock lock(cancel->mutex);
        if (!cancel->returned.wait_for(lock, cancelMargin, [&] { return cancel->done; }))
            m_cancelOutstanding = true;
    }
    return outcome;
}

void Watchdog::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_armed || m_outcome != Outcome::InTime) {
            m_idle = true;
            m_changed.wait(lock);
            m_idle = false;
        } else if (Clock::now() < m_deadline) {
            m_changed.wait_until(lock, m_deadline);
        } else {
            expire(lock);
        }
    }
}

void Watchdog::expire(std::unique_lock<std::mutex> &lock)
{
    const unsigned long long call = m_call;
    m_outcome = Outcome::Cancelled;
    if (m_statement) {
        // The request and the handle go to a thread of their own: a cancel that waits for the
        // server must not hold up the shutdown. disarm() waits for it, so the statement is still
        // there while it runs.
        auto cancel = std::make_shared<CancelRequest>();
        m_cancel = cancel;
        std::thread([statement = m_statement, cancel] {
            SQLCancel(statement);
            const std::lock_guard done(cancel->mutex);
            cancel->done = true;
            cancel->returned.notify_all();
        }).detach();
        m_changed.wait_for(lock, cancelMargin, [&] { return !m_armed || m_call != call; });
    }
    if (m_armed && m_call == call && !m_sockets.empty()) {
        m_sockets.shutDown();
        m_outcome = Outcome::Dropped;
    }
}

ConnectWatchdog::ConnectWatchdog(std::chrono::milliseconds limit, std::vector<OpenSocket> before)
    : m_before(std::move(before)), m_thread([this, limit] { watch(limit); })
{}

ConnectWatchdog::~ConnectWatchdog()
{
    finish();
    m_thread.join();
}

bool ConnectWatchdog::finish()
{
    const std::lock_guard lock(m_mutex);
    m_done = true;
    m_returned.notify_all();
    return m_ended;
}

void ConnectWatchdog::watch(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    if (m_returned.wait_for(lock, limit, [&] { return m_done; }))
        return;
    DriverSockets(m_before, connectedStreamSockets()).shutDown();
    m_ended = true;
}

} // namespace zarn::dal::odbc
