#pragma once

namespace zarn {

// While it lives, an interrupt (Ctrl+C) or a termination signal asks for a stop instead of
// ending the program, so that a data import can store what it has written and end in order.
// The first interrupt gives the signal its default action back: a second one ends the program
// at once. One watch at a time; the signals' earlier handlers come back when it ends.
class InterruptWatch
{
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch &) = delete;
    InterruptWatch &operator=(const InterruptWatch &) = delete;

    // Whether a signal has come since the watch began.
    bool interrupted() const;

private:
    using Handler = void (*)(int);
    Handler m_previousInterrupt;
    Handler m_previousTerminate;
};

} // namespace zarn
