#pragma once

#include <QList>
#include <QRgb>
#include <QtGlobal>

#include <array>
#include <optional>

namespace Quillmere {

// The progress bar's colour arithmetic on 0x00BBGGRR values (red in the low byte). Bits above
// the blue byte are ignored, so every result is a plain 24-bit colour.
namespace BarColours {

using Colour = quint32;

// The working colours of one drawing. Even entries are the gradient ends of the track halves
// (0 to 6), of the fill halves (8 to 14) and the border (16); each odd entry repeats the one
// before it.
using BarPalette = std::array<Colour, 17>;

constexpr int RedOf(Colour c)
{
    return int(c & 0xFF);
}
constexpr int GreenOf(Colour c)
{
    return int((c & 0xFF00) / 256);
}
constexpr int BlueOf(Colour c)
{
    return int((c & 0xFF0000) / 65536);
}
constexpr Colour rgb(int red, int green, int blue)
{
    return Colour(red) | Colour(green) << 8 | Colour(blue) << 16;
}
constexpr QRgb toQRgb(Colour c)
{
    return qRgb(RedOf(c), GreenOf(c), BlueOf(c));
}

// The mean of the three channels, rounded, in all three.
Colour GreyOf(Colour c);
// Each channel moved by amount, taken as its absolute value and kept at most 255.
Colour Lighten(Colour c, int amount);

// Colour i of the n steps from start to end: channel steps are single precision, the result
// rounds to the byte, ties to even. Step 0 is start and step n is end.
Colour interpolatedColour(Colour start, Colour end, qint64 n, qint64 i);
// Steps 0 to n; empty when n is negative.
QList<Colour> InterpolateColours(Colour start, Colour end, int n);

// The palette of a theme 1 to 10 (10 mixes the two custom colours); nothing for other themes,
// which keep the palette they had.
std::optional<BarPalette> themePalette(qint32 theme, Colour custom1, Colour custom2);

}  // namespace BarColours

}  // namespace Quillmere
