#include "app/window/TwipsLayout.h"

#include <QScreen>
#include <QWidget>
#include <cmath>

namespace zarn {

TwipsLayout::TwipsLayout(const QScreen &screen)
    : m_dpiX(screen.logicalDotsPerInchX()), m_dpiY(screen.logicalDotsPerInchY())
{}

int TwipsLayout::pixels(int twips, double dpi) const
{
    return qRound(twips * dpi / 1440.0);
}

QSize TwipsLayout::size(int widthTwips, int heightTwips) const
{
    return {pixels(widthTwips, m_dpiX), pixels(heightTwips, m_dpiY)};
}

void TwipsLayout::place(QWidget &control, const char *name, const Twips &twips, WidthShare share)
{
    control.setObjectName(QLatin1String(name));
    const QRect rect(pixels(twips.left, m_dpiX), pixels(twips.top, m_dpiY),
                     pixels(twips.width, m_dpiX), pixels(twips.height, m_dpiY));
    control.setGeometry(rect);
    m_placed.push_back({&control, rect, share});
}

// A share of the extra width is rounded the same way wherever it is taken, so that controls
// that meet at first still meet.
void TwipsLayout::widen(int extra) const
{
    auto part = [extra](double share) { return int(std::lround(extra * share)); };
    for (const Placed &p : m_placed) {
        QRect rect = p.rect.translated(part(p.share.move), 0);
        rect.setWidth(p.rect.width() + part(p.share.grow));
        p.control->setGeometry(rect);
    }
}

} // namespace zarn
