#include "app/ProgressFigures.h"

#include <algorithm>
#include <cmath>

namespace zarn {

namespace {

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

QString progressFigures(std::int64_t done, std::int64_t total, double elapsedSeconds)
{
    if (total <= 0)
        return QString();
    const QString count = QStringLiteral("%1/%2 readings").arg(done).arg(total);
    if (done <= 0 || elapsedSeconds <= 0)
        return count + QStringLiteral("  -- readings/s  --:-- left");
    const double rate = double(done) / elapsedSeconds;
    return count + QStringLiteral("  %1 readings/s  %2 left")
                       .arg(rate, 0, 'f', rate < 10 ? 1 : 0)
                       .arg(duration(double(std::max<std::int64_t>(total - done, 0)) / rate));
}

} // namespace zarn
