#include "progressbar/BarColours.h"

#include <cmath>
#include <cstdlib>

namespace Quillmere {

namespace BarColours {

namespace {

// Even entries 0 to 16 of the fixed themes 1 to 9, as red, green, blue.
constexpr int FixedThemes[9][9][3] = {
    {{248, 246, 242},
     {233, 227, 211},
     {226, 215, 182},
     {239, 233, 215},
     {251, 244, 223},
     {239, 213, 133},
     {203, 166, 57},
     {237, 224, 187},
     {204, 168, 62}},
    {{247, 248, 242},
     {231, 233, 211},
     {222, 226, 182},
     {237, 239, 215},
     {249, 251, 223},
     {230, 239, 133},
     {190, 203, 57},
     {233, 237, 187},
     {192, 204, 62}},
    {{242, 248, 243},
     {211, 233, 213},
     {182, 226, 186},
     {215, 239, 217},
     {223, 251, 225},
     {133, 239, 142},
     {57, 203, 70},
     {187, 237, 191},
     {62, 204, 74}},
    {{242, 248, 247},
     {211, 233, 231},
     {182, 226, 222},
     {215, 239, 237},
     {223, 251, 249},
     {133, 239, 230},
     {57, 203, 190},
     {187, 237, 233},
     {62, 204, 192}},
    {{243, 242, 248},
     {213, 211, 233},
     {186, 182, 226},
     {217, 215, 239},
     {225, 223, 251},
     {142, 133, 239},
     {70, 57, 203},
     {191, 187, 237},
     {74, 62, 204}},
    {{248, 242, 247},
     {233, 211, 231},
     {226, 182, 222},
     {239, 215, 237},
     {251, 223, 249},
     {239, 133, 230},
     {203, 57, 190},
     {237, 187, 233},
     {204, 62, 192}},
    {{248, 242, 242},
     {233, 211, 211},
     {226, 182, 182},
     {239, 215, 215},
     {251, 223, 223},
     {239, 133, 133},
     {203, 57, 57},
     {237, 187, 187},
     {204, 62, 62}},
    {{250, 253, 254},
     {228, 243, 252},
     {199, 230, 249},
     {237, 247, 253},
     {225, 247, 255},
     {67, 208, 255},
     {63, 112, 233},
     {63, 226, 246},
     {23, 139, 211}},
    {{231, 243, 232},
     {225, 219, 225},
     {179, 189, 179},
     {226, 238, 226},
     {223, 251, 223},
     {108, 255, 108},
     {26, 228, 26},
     {217, 244, 217},
     {188, 184, 188}},
};

constexpr qint32 CustomTheme = 10;

// Ties go to the even neighbour, as every rounding of the bar does.
int roundToByte(double value)
{
    return qBound(0, int(std::nearbyint(value)), 255);
}

int lightenChannel(int channel, int amount)
{
    return int(qMin<qint64>(std::llabs(qint64(channel) + amount), 255));
}

// Each odd entry repeats the even one before it.
BarPalette fromEvenEntries(const std::array<Colour, 9> &even)
{
    BarPalette palette{};
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = even[i / 2];
    return palette;
}

}  // namespace

Colour GreyOf(Colour c)
{
    // A third never ends in a half, so rounding up from .5 cannot differ from ties to even.
    const int level = (RedOf(c) + GreenOf(c) + BlueOf(c) + 1) / 3;
    return rgb(level, level, level);
}

Colour Lighten(Colour c, int amount)
{
    return rgb(lightenChannel(RedOf(c), amount), lightenChannel(GreenOf(c), amount), lightenChannel(BlueOf(c), amount));
}

Colour interpolatedColour(Colour start, Colour end, qint64 n, qint64 i)
{
    const auto channel = [n, i](int from, int to) {
        const float step = from == to || n == 0 ? 0.0f : float(to - from) / float(n);
        return roundToByte(double(step) * double(i) + from);
    };
    return rgb(channel(RedOf(start), RedOf(end)), channel(GreenOf(start), GreenOf(end)),
               channel(BlueOf(start), BlueOf(end)));
}

QList<Colour> InterpolateColours(Colour start, Colour end, int n)
{
    QList<Colour> colours;
    if (n < 0)
        return colours;
    colours.reserve(qsizetype(n) + 1);
    for (int i = 0; i <= n; ++i)
        colours.append(interpolatedColour(start, end, n, i));
    return colours;
}

std::optional<BarPalette> themePalette(qint32 theme, Colour custom1, Colour custom2)
{
    if (theme >= 1 && theme <= 9) {
        std::array<Colour, 9> even{};
        for (int i = 0; i < 9; ++i) {
            const int *entry = FixedThemes[theme - 1][i];
            even[i] = rgb(entry[0], entry[1], entry[2]);
        }
        return fromEvenEntries(even);
    }
    if (theme == CustomTheme) {
        custom1 &= 0xFFFFFF;
        custom2 &= 0xFFFFFF;
        return fromEvenEntries({Lighten(custom2, 180), Lighten(custom2, 50), custom2, Lighten(custom2, 80),
                                Lighten(custom1, 180), Lighten(custom1, 50), custom1, Lighten(custom1, 80), custom1});
    }
    return std::nullopt;
}

}  // namespace BarColours

}  // namespace Quillmere
