#include "platform/MessageLog.h"

namespace zarn {

void MessageLog::showMessage(const Message &message)
{
    m_messages.push_back(message);
    if (m_target)
        m_target->showMessage(message);
}

void MessageLog::setProgressMax(int max)
{
    if (m_target)
        m_target->setProgressMax(max);
}

void MessageLog::setProgressValue(int value)
{
    if (m_target)
        m_target->setProgressValue(value);
}

void MessageLog::setProgressCount(std::int64_t done, std::int64_t total)
{
    if (m_target)
        m_target->setProgressCount(done, total);
}

void MessageLog::setProgressVisible(bool visible)
{
    if (m_target)
        m_target->setProgressVisible(visible);
}

MousePointer MessageLog::mousePointer() const
{
    return m_target ? m_target->mousePointer() : m_pointer;
}

void MessageLog::setMousePointer(MousePointer pointer)
{
    m_pointer = pointer;
    if (m_target)
        m_target->setMousePointer(pointer);
}

void MessageLog::processEvents()
{
    if (m_target)
        m_target->processEvents();
}

bool MessageLog::stopRequested() const
{
    return m_target && m_target->stopRequested();
}

void MessageLog::reportDetail(const QString &detail)
{
    m_details.push_back(detail);
    if (m_target)
        m_target->reportDetail(detail);
}

} // namespace zarn
