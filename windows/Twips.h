#pragma once

#include <QRect>

#include <cmath>

namespace Quillmere {

// Window layouts are designed in twips, 15 to a pixel at 96 dots per inch.
inline int twipsToPixels(int twips)
{
    // nearbyint rounds halves to the even neighbour, as every conversion in the program does.
    return int(std::nearbyint(twips / 15.0));
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

}  // namespace Quillmere
