#pragma once

#include <QRegion>
#include <QSize>

// The bar's rounded rectangle in whole pixels: a pixel belongs to it when its centre lies
// inside a rectangle whose corners are quarter circles `rounding` pixels wide and high. The
// outline is the shape's own edge, so the window shows no track outside the border and cuts
// no border pixel, and both are symmetric left to right and top to bottom.
class BarShape
{
public:
    BarShape() = default;
    BarShape(QSize size, int rounding);

    QSize size() const { return m_size; }
    int rounding() const { return m_rounding; }
    // Every pixel of the shape.
    const QRegion &window() const { return m_window; }
    // The pixels of the shape that touch a pixel outside it across a side: a one-pixel line.
    const QRegion &outline() const { return m_outline; }

private:
    QSize m_size;
    int m_rounding = -1;
    QRegion m_window;
    QRegion m_outline;
};
