#include "app/BatchUserInterface.h"

#include "app/ProgressFigures.h"

#include <algorithm>

namespace zarn {

namespace {

constexpr int barWidth = 16; // so that the whole line fits 80 columns

} // namespace

QString progressBarLine(int percent, std::int64_t done, std::int64_t total, double elapsedSeconds)
{
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * barWidth / 100;
    const QString line = QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                         QString(barWidth - filled, QLatin1Char('.')) +
                         QStringLiteral("] %1%").arg(percent, 3);
    if (total <= 0)
        return line;
    return line + QStringLiteral("  ") + progressFigures(done, total, elapsedSeconds);
}

BatchUserInterface::BatchUserInterface(QTextStream &out, QTextStream &err, ProgressStyle style)
    : m_out(out), m_err(err), m_style(style)
{}

void BatchUserInterface::showMessage(const Message &message)
{
    endBarLine();
    m_out << '[' << messageKindName(message.icon) << "]\n" << message.text << '\n';
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
    if (visible) {
        m_shownFor.start();
        m_interrupts.emplace();
    } else {
        endBarLine();
        m_interrupts.reset();
    }
    m_lastPercent = -1;
    m_done = m_total = 0;
    reportProgress();
}

// The last count, done equal to total, ends the progress: its figures stay.
void BatchUserInterface::setProgressCount(std::int64_t done, std::int64_t total)
{
    if (!m_visible)
        return;
    m_done = done;
    m_total = total;
    const bool last = done >= total;
    if (m_style == ProgressStyle::Lines) {
        if (last)
            m_err << done << '/' << total << " readings\n";
    } else {
        drawBar();
        if (last)
            endBarLine();
    }
    m_err.flush();
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
    if (m_style == ProgressStyle::Lines)
        m_err << percent << "%\n";
    else
        drawBar();
    m_err.flush();
}

// Over the line drawn before, blanking what a longer one left.
void BatchUserInterface::drawBar()
{
    const QString line = progressBarLine(std::max(m_lastPercent, 0), m_done, m_total,
                                         double(m_shownFor.nsecsElapsed()) / 1e9);
    m_err << '\r' << line.leftJustified(m_barLength);
    m_barLength = int(line.size());
    m_barDrawn = true;
}

void BatchUserInterface::endBarLine()
{
    if (!m_barDrawn)
        return;
    m_err << '\n';
    m_err.flush();
    m_barDrawn = false;
    m_barLength = 0;
}

} // namespace zarn
