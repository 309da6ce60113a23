#include "app/BatchUserInterface.h"

#include <algorithm>
#include <cmath>

namespace zarn {

namespace {

constexpr int barWidth = 30;

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

// "m:ss", or "h:mm:ss" from an hour on; a part of a second counts as a whole one.
QString duration(double seconds)
{
    const auto total = static_cast<long long>(std::ceil(seconds));
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const QString secondsText = QStringLiteral("%1").arg(total % 60, 2, 10, QLatin1Char('0'));
    if (hours == 0)
        return QStringLiteral("%1:%2").arg(minutes).arg(secondsText);
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(secondsText);
}

} // namespace

QString progressBarLine(int percent, double elapsedSeconds)
{
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * barWidth / 100;
    QString line = QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                   QString(barWidth - filled, QLatin1Char('.')) +
                   QStringLiteral("] %1%").arg(percent, 3);
    if (percent == 0 || elapsedSeconds <= 0)
        return line + QStringLiteral("     -- %/s   --:-- left");
    const double rate = percent / elapsedSeconds;
    return line + QStringLiteral(" %1 %/s %2 left")
                      .arg(rate, 6, 'f', 1)
                      .arg(duration((100 - percent) / rate), 7);
}

BatchUserInterface::BatchUserInterface(QTextStream &out, QTextStream &err, ProgressStyle style)
    : m_out(out), m_err(err), m_style(style)
{}

void BatchUserInterface::showMessage(const Message &message)
{
    endBarLine();
    m_out << '[' << kindName(message.icon) << "]\n" << message.text << '\n';
    m_out.flush();
}

void BatchUserInterface::reportDetail(const QString &detail)
{
    endBarLine();
    m_err << detail << '\n';
    m_err.flush();
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
    if (visible)
        m_shownFor.start();
    else
        endBarLine();
    m_lastPercent = -1;
    reportProgress();
}

// Once per whole percent reached, however often the value is set.
void BatchUserInterface::reportProgress()
{
    if (!m_visible || m_max <= 0)
        return;
    const int percent = int(std::clamp<qint64>(qint64(m_value) * 100 / m_max, 0, 100));
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    if (m_style == ProgressStyle::Lines) {
        m_err << percent << "%\n";
    } else {
        m_err << '\r' << progressBarLine(percent, double(m_shownFor.elapsed()) / 1000.0);
        m_barDrawn = true;
    }
    m_err.flush();
}

void BatchUserInterface::endBarLine()
{
    if (!m_barDrawn)
        return;
    m_err << '\n';
    m_err.flush();
    m_barDrawn = false;
}

} // namespace zarn
