#include "progressbar/BarShape.h"

#include <QList>

#include <algorithm>
#include <cmath>

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

} // namespace

BarShape::BarShape(QSize size, int rounding)
    : m_size(size)
    , m_rounding(rounding)
{
    if (size.isEmpty())
        return;
    const QList<int> starts = rowStarts(size, rounding);
    const int last = size.width() - 1;
    for (int y = 0; y < size.height(); ++y) {
        const int start = starts[y];
        if (start > last - start)
            continue;
        m_window += QRect(QPoint(start, y), QPoint(last - start, y));
        // A row's edge runs on while the row above or below has not begun yet; the top and
        // bottom rows are edge throughout.
        const int above = y > 0 ? starts[y - 1] : last;
        const int below = y + 1 < size.height() ? starts[y + 1] : last;
        const int runEnd = std::min(std::max({start, above - 1, below - 1}), last - start);
        m_outline += QRect(QPoint(start, y), QPoint(runEnd, y));
        m_outline += QRect(QPoint(last - runEnd, y), QPoint(last - start, y));
    }
}
