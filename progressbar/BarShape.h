#pragma once

#include <QRegion>
#include <QSize>

namespace Quillmere {

// The bar's rounded rectangles in whole pixels: a pixel belongs to one when its centre lies
// inside a rectangle whose corners are quarter circles `rounding` pixels wide and high. The
// window is that shape over the whole size; the border outlines the one a pixel smaller to the
// right and below, so its right column is W - 2 and its bottom row H - 2. Both are symmetric
// left to right and top to bottom.
class BarShape
{
public:
    BarShape() = default;
    BarShape(QSize size, int rounding);

    QSize size() const { return m_size; }
    int rounding() const { return m_rounding; }
    // Every pixel of the window.
    const QRegion &window() const { return m_window; }
    // The border: the pixels of the smaller shape that touch a pixel outside it across a side.
    const QRegion &outline() const { return m_outline; }

private:
    QSize m_size;
    int m_rounding = -1;
    QRegion m_window;
    QRegion m_outline;
};

}  // namespace Quillmere
