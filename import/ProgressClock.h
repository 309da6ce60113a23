#pragma once

#include <chrono>

namespace zarn {

// Says when a progress bar and the window's events are due during a long loop: at most once per
// interval, and after every step when the interval is zero.
class ProgressClock
{
public:
    using Clock = std::chrono::steady_clock;

    explicit ProgressClock(std::chrono::milliseconds interval)
        : m_interval(interval), m_last(Clock::now())
    {}

    bool due()
    {
        if (m_interval.count() <= 0)
            return true;
        const Clock::time_point now = Clock::now();
        if (now - m_last < m_interval)
            return false;
        m_last = now;
        return true;
    }

private:
    std::chrono::milliseconds m_interval;
    Clock::time_point m_last;
};

} // namespace zarn
