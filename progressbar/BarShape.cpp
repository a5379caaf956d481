#include "progressbar/BarShape.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace Quillmere {

namespace {

// The first pixel of each row inside the shape; the row's last one mirrors it.
QList<int> rowStarts(QSize size, int rounding)
{
    const double radius = std::min({std::max(rounding, 0) / 2.0, size.width() / 2.0, size.height() / 2.0});
    QList<int> starts(size.height(), 0);
    for (int y = 0; y < size.height(); ++y) {
        const double centre = y + 0.5;
        const double intoCorner = std::max(radius - centre, centre - (size.height() - radius));
        if (intoCorner > 0)
            starts[y] = int(std::ceil(radius - std::sqrt(radius * radius - intoCorner * intoCorner) - 0.5));
    }
    return starts;
}

QRegion filled(QSize size, int rounding)
{
    QRegion region;
    const QList<int> starts = rowStarts(size, rounding);
    const int last = size.width() - 1;
    for (int y = 0; y < size.height(); ++y) {
        if (starts[y] <= last - starts[y])
            region += QRect(QPoint(starts[y], y), QPoint(last - starts[y], y));
    }
    return region;
}

// The pixels of a shape that touch a pixel outside it across a side: all but those whose four
// neighbours are inside too.
QRegion border(const QRegion &shape)
{
    return shape
        - (shape & shape.translated(1, 0) & shape.translated(-1, 0) & shape.translated(0, 1) & shape.translated(0, -1));
}

}  // namespace

BarShape::BarShape(QSize size, int rounding)
    : m_size(size)
    , m_rounding(rounding)
{
    if (size.isEmpty())
        return;
    m_window = filled(size, rounding);
    // The outlined rectangle runs from (0, 0) to (W - 1, H - 1) with its right and bottom
    // edges left out, so it is one pixel narrower and lower than the window.
    const QSize outlined = size - QSize(1, 1);
    if (!outlined.isEmpty())
        m_outline = border(filled(outlined, rounding));
}

}  // namespace Quillmere
