#include "app/BatchUserInterface.h"

#include <algorithm>

namespace zarn {

namespace {

QString kindName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QStringLiteral("information");
    case MessageIcon::Exclamation:
        return QStringLiteral("exclamation");
    case MessageIcon::Stop:
        return QStringLiteral("stop");
    case MessageIcon::None:
        break;
    }
    return QStringLiteral("message");
}

} // namespace

BatchUserInterface::BatchUserInterface(QTextStream &out, QTextStream &err) : m_out(out), m_err(err)
{}

void BatchUserInterface::showMessage(const Message &message)
{
    m_out << '[' << kindName(message.icon) << "]\n" << message.text << '\n';
    m_out.flush();
}

void BatchUserInterface::setProgressMax(int max)
{
    m_max = max;
    reportProgress();
}

void BatchUserInterface::setProgressValue(int value)
{
    m_value = value;
    reportProgress();
}

void BatchUserInterface::setProgressVisible(bool visible)
{
    m_visible = visible;
    m_lastPercent = -1;
    reportProgress();
}

// One line per whole percent reached, however often the value is set.
void BatchUserInterface::reportProgress()
{
    if (!m_visible || m_max <= 0)
        return;
    const int percent = int(std::clamp<qint64>(qint64(m_value) * 100 / m_max, 0, 100));
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    m_err << percent << "%\n";
    m_err.flush();
}

} // namespace zarn
