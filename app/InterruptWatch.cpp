#include "app/InterruptWatch.h"

#include <csignal>

namespace zarn {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// Only what a signal handler may do: note the signal and give it back its default action.
extern "C" void noteInterrupt(int signal)
{
    g_interrupted = 1;
    std::signal(signal, SIG_DFL);
}

} // namespace

InterruptWatch::InterruptWatch()
{
    g_interrupted = 0;
    m_previousInterrupt = std::signal(SIGINT, noteInterrupt);
    m_previousTerminate = std::signal(SIGTERM, noteInterrupt);
}

InterruptWatch::~InterruptWatch()
{
    std::signal(SIGINT, m_previousInterrupt == SIG_ERR ? SIG_DFL : m_previousInterrupt);
    std::signal(SIGTERM, m_previousTerminate == SIG_ERR ? SIG_DFL : m_previousTerminate);
}

bool InterruptWatch::interrupted() const
{
    return g_interrupted != 0;
}

} // namespace zarn
