#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QScreen;
class QWidget;

namespace zarn {

// A rectangle in twips (1/1440 inch), as the window's layout is given.
struct Twips
{
    int left, top, width, height;
};

// How a control follows a window made wider than at first: the shares of the extra width by
// which it moves right and by which it grows.
struct WidthShare
{
    double move = 0;
    double grow = 0;
};

// Places controls at their twips, converted at the screen's logical resolution (15 twips to a
// pixel at 96 dpi), and moves and widens them as the window grows wider.
class TwipsLayout
{
public:
    explicit TwipsLayout(const QScreen &screen);

    QSize size(int widthTwips, int heightTwips) const;
    // Names the control, places it and keeps it for widening.
    void place(QWidget &control, const char *name, const Twips &twips, WidthShare share = {});
    // Lays the controls out for a window `extra` pixels wider than at first.
    void widen(int extra) const;

private:
    struct Placed
    {
        QWidget *control;
        QRect rect;
        WidthShare share;
    };

    int pixels(int twips, double dpi) const;

    double m_dpiX;
    double m_dpiY;
    std::vector<Placed> m_placed;
};

} // namespace zarn
