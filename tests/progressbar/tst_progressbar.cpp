#include "progressbar/ProgressBar.h"

#include "progressbar/PropertyBag.h"

#include <QAccessibleValueInterface>
#include <QPainter>
#include <QTest>

#include <climits>

using namespace Qt::StringLiterals;
using namespace Quillmere::BarColours;
using namespace Quillmere;
using Model = ProgressBarModel;

namespace {

constexpr Colour Blue = 0xFF0000;
constexpr Colour Red = 0x0000FF;

// A shown bar with a new instance's properties and, unless a test asks, no text.
class BarOnHost
{
public:
    explicit BarOnHost(QSize size)
        : bar(&host)
    {
        bar.resize(size);
        host.show();
        bar.InitProperties();
        bar.model().setTextStyle(Model::BarTextStyle(0));
    }

    Model &model() { return bar.model(); }
    QRgb pixel(int x, int y) const { return bar.picture().pixel(x, y); }
    QRgb entry(int index) const { return toQRgb(bar.Palette()[index]); }

    QWidget host;
    ProgressBar bar;
};

// Glyphs without anti-aliasing, so every text pixel has exactly the colour it was printed in.
QFont crispFont()
{
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(12);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QList<QPoint> pixelsOf(const QImage &image, QRgb colour)
{
    QList<QPoint> found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == colour)
                found.append(QPoint(x, y));
        }
    }
    return found;
}

QRect boundsOf(const QList<QPoint> &points)
{
    QRect bounds;
    for (const QPoint &point : points)
        bounds |= QRect(point, QSize(1, 1));
    return bounds;
}

}  // namespace

class TstProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void fillAndHalves_data();
    void fillAndHalves();
    void themePalettes_data();
    void themePalettes();
    void disabledBarIsGrey();
    void customThemeFromPureBlue();
    void otherThemesKeepThePreviousPalette();
    void orientation3DrawsBorderOnly();
    void shape_data();
    void shape();
    void pictureFollowsThePixelRatio();
    void textPosition_data();
    void textPosition();
    void effectsPrintInOrder_data();
    void effectsPrintInOrder();
    void textFollowsStyle_data();
    void textFollowsStyle();
    void noTextForOtherStylesOrEffects_data();
    void noTextForOtherStylesOrEffects();
    void captionIsPlainText();
    void hostHearsOfAChangeBeforeTheRedraw();
    void resizeRedraws();
    void takesItsNameAndFontFromTheHost();
    void twoColourGradient_data();
    void twoColourGradient();
    void fourColourGradientStopsOneStepShort();
    void fourColourGradientRefusesBadSizes();
    void fourColourGradientDrawsOnlyWhatShows();
    void readOutAsAProgressBar_data();
    void readOutAsAProgressBar();
};

// The second half starts exactly at its start colour, so the row (or column) where it begins
// shows the fill's entry 12 up to F and the track's entry 4 after it.
void TstProgressBar::fillAndHalves_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QList<int>>("range");  // Min, Max, Value
    QTest::addColumn<int>("fill");
    QTest::addColumn<int>("split");

    QTest::newRow("209: 104.5 and 16.5 go down to even") << QSize(209, 33) << 1 << QList<int>{0, 100, 50} << 104 << 16;
    QTest::newRow("211: 105.5 and 17.5 go up to even") << QSize(211, 35) << 1 << QList<int>{0, 100, 50} << 106 << 18;
    QTest::newRow("Min does not enter") << QSize(200, 25) << 1 << QList<int>{40, 100, 70} << 140 << 12;
    QTest::newRow("1 of 1000 fills nothing") << QSize(209, 27) << 1 << QList<int>{0, 1000, 1} << 0 << 14;
    QTest::newRow("0 fills nothing") << QSize(209, 33) << 1 << QList<int>{0, 100, 0} << 0 << 16;
    QTest::newRow("vertical fills from the top") << QSize(33, 120) << 2 << QList<int>{0, 100, 25} << 30 << 16;
    QTest::newRow("vertical, 35 wide") << QSize(35, 120) << 2 << QList<int>{0, 100, 50} << 60 << 18;
}

void TstProgressBar::fillAndHalves()
{
    QFETCH(QSize, size);
    QFETCH(int, orientation);
    QFETCH(QList<int>, range);
    QFETCH(int, fill);
    QFETCH(int, split);
    BarOnHost b(size);
    b.model().setOrientations(Model::BarOrientation(orientation));
    b.model().setMax(range[1]);
    b.model().setMin(range[0]);
    b.model().setValue(range[2]);

    const bool vertical = orientation == 2;
    const auto along = [&](int i) { return vertical ? b.pixel(split, i) : b.pixel(i, split); };
    const int length = vertical ? size.height() : size.width();
    // The border takes the last but one pixel; the last shows the track outside it.
    for (int i = 1; i < length; ++i)
        QCOMPARE(along(i), i == length - 2 ? b.entry(16) : b.entry(i < fill ? 12 : 4));
    const int end = length - 2;
    QVERIFY(vertical ? b.pixel(split - 1, end) != b.entry(4) : b.pixel(end, split - 1) != b.entry(4));
}

void TstProgressBar::themePalettes_data()
{
    QTest::addColumn<int>("theme");
    QTest::addColumn<QList<Colour>>("entries");  // 0, 4, 12 and 16

    QTest::newRow("1 gold") << 1
                            << QList<Colour>{rgb(248, 246, 242), rgb(226, 215, 182), rgb(203, 166, 57),
                                             rgb(204, 168, 62)};
    QTest::newRow("2 lime") << 2
                            << QList<Colour>{rgb(247, 248, 242), rgb(222, 226, 182), rgb(190, 203, 57),
                                             rgb(192, 204, 62)};
    QTest::newRow("3 green") << 3
                             << QList<Colour>{rgb(242, 248, 243), rgb(182, 226, 186), rgb(57, 203, 70), rgb(62, 204, 74)};
    QTest::newRow("4 teal") << 4
                            << QList<Colour>{rgb(242, 248, 247), rgb(182, 226, 222), rgb(57, 203, 190),
                                             rgb(62, 204, 192)};
    QTest::newRow("5 blue") << 5
                            << QList<Colour>{rgb(243, 242, 248), rgb(186, 182, 226), rgb(70, 57, 203), rgb(74, 62, 204)};
    QTest::newRow("6 pink") << 6
                            << QList<Colour>{rgb(248, 242, 247), rgb(226, 182, 222), rgb(203, 57, 190),
                                             rgb(204, 62, 192)};
    QTest::newRow("7 red") << 7
                           << QList<Colour>{rgb(248, 242, 242), rgb(226, 182, 182), rgb(203, 57, 57), rgb(204, 62, 62)};
    QTest::newRow("8 aqua") << 8
                            << QList<Colour>{rgb(250, 253, 254), rgb(199, 230, 249), rgb(63, 112, 233),
                                             rgb(23, 139, 211)};
    QTest::newRow("9 silver green") << 9
                                    << QList<Colour>{rgb(231, 243, 232), rgb(179, 189, 179), rgb(26, 228, 26),
                                                     rgb(188, 184, 188)};
}

void TstProgressBar::themePalettes()
{
    QFETCH(int, theme);
    QFETCH(QList<Colour>, entries);
    BarOnHost b(QSize(209, 33));
    b.model().setTheme(Model::BarTheme(theme));

    const QList<int> indices = {0, 4, 12, 16};
    for (int i = 0; i < indices.size(); ++i)
        QCOMPARE(b.bar.Palette()[indices[i]], entries[i]);
    QCOMPARE(b.pixel(100, 0), toQRgb(entries[3]));
    QCOMPARE(b.pixel(1, 16), toQRgb(entries[2]));
    QCOMPARE(b.pixel(208, 16), toQRgb(entries[1]));
}

void TstProgressBar::disabledBarIsGrey()
{
    BarOnHost b(QSize(209, 33));
    b.model().setEnabled(false);

    QCOMPARE(b.bar.Palette()[16], rgb(145, 145, 145));
    QCOMPARE(b.bar.Palette()[0], rgb(245, 245, 245));
    for (Colour entry : b.bar.Palette())
        QCOMPARE(entry, GreyOf(entry));
    QCOMPARE(b.pixel(100, 31), qRgb(145, 145, 145));
}

void TstProgressBar::customThemeFromPureBlue()
{
    BarOnHost b(QSize(209, 33));
    b.model().setPBSCustomeColor1(Blue);
    b.model().setTheme(Model::BarTheme::Custom);

    const QList<Colour> fillAndBorder = {rgb(180, 180, 255), rgb(50, 50, 255), rgb(0, 0, 255), rgb(80, 80, 255),
                                         rgb(0, 0, 255)};
    for (int i = 0; i < fillAndBorder.size(); ++i)
        QCOMPARE(b.bar.Palette()[8 + 2 * i], fillAndBorder[i]);
    QCOMPARE(b.pixel(1, 16), qRgb(0, 0, 255));
}

void TstProgressBar::otherThemesKeepThePreviousPalette()
{
    QWidget host;
    ProgressBar bar(&host);
    bar.resize(209, 33);
    PropertyBag stored;
    stored.WriteProperty(u"Theme"_s, 0, 1);
    bar.ReadProperties(stored);
    QCOMPARE(bar.Palette(), BarPalette{});
    QCOMPARE(bar.picture().pixel(100, 0), qRgb(0, 0, 0));

    bar.model().setTheme(Model::BarTheme::Green);
    bar.model().setTheme(Model::BarTheme(0));
    QCOMPARE(bar.Palette(), themePalette(3, 0, 0).value());

    // A disabled drawing greys the kept palette, and it stays grey.
    bar.model().setEnabled(false);
    bar.model().setEnabled(true);
    QCOMPARE(bar.Palette()[16], GreyOf(rgb(62, 204, 74)));
}

void TstProgressBar::orientation3DrawsBorderOnly()
{
    BarOnHost b(QSize(209, 33));
    b.model().setOrientations(Model::BarOrientation(3));

    const QRgb background = b.bar.palette().color(b.bar.backgroundRole()).rgb();
    QCOMPARE(pixelsOf(b.bar.picture().copy(1, 1, 206, 30), background).size(), 206 * 30);
    QCOMPARE(b.pixel(100, 0), b.entry(16));
    QCOMPARE(b.pixel(207, 16), b.entry(16));
    QCOMPARE(b.pixel(208, 16), background);
    QCOMPARE(b.pixel(100, 32), background);
}

void TstProgressBar::shape_data()
{
    QTest::addColumn<int>("rounding");
    QTest::addColumn<bool>("cornersCut");

    QTest::newRow("rounded 5") << 5 << true;
    QTest::newRow("rounded 12") << 12 << true;
    QTest::newRow("0 is a plain rectangle") << 0 << false;
}

// The window covers the whole size and the border outlines the shape one pixel smaller to the
// right and below, each the same from every side: the border's first and last pixel of a row
// lie inside the window, the last column and row are never border.
void TstProgressBar::shape()
{
    QFETCH(int, rounding);
    QFETCH(bool, cornersCut);
    BarOnHost b(QSize(209, 33));
    b.model().setRoundedValue(rounding);

    const QRegion shape = b.bar.mask();
    for (QPoint corner : {QPoint(0, 0), QPoint(208, 0), QPoint(0, 32), QPoint(208, 32)})
        QCOMPARE(shape.contains(corner), !cornersCut);
    QList<int> windowFirsts;
    QList<int> borderFirsts;
    for (int y = 0; y < 33; ++y) {
        int first = 0;
        while (!shape.contains(QPoint(first, y)))
            ++first;
        windowFirsts.append(first);
        QVERIFY(shape.contains(QPoint(208 - first, y)));
        QVERIFY(!shape.contains(QPoint(209 - first, y)));
        QVERIFY(b.pixel(208, y) != b.entry(16));
        if (y == 32) {
            QCOMPARE(pixelsOf(b.bar.picture().copy(0, 32, 209, 1), b.entry(16)).size(), 0);
            break;
        }
        const QList<QPoint> border = pixelsOf(b.bar.picture().copy(0, y, 209, 1), b.entry(16));
        QVERIFY(!border.isEmpty());
        borderFirsts.append(border.first().x());
        QCOMPARE(border.first().x() + border.last().x(), 207);
        QVERIFY(shape.contains(QPoint(border.first().x(), y)));
    }
    for (int y = 0; y < 33; ++y)
        QCOMPARE(windowFirsts[y], windowFirsts[32 - y]);
    for (int y = 0; y < 32; ++y)
        QCOMPARE(borderFirsts[y], borderFirsts[31 - y]);
    QCOMPARE(borderFirsts[0] > 0, cornersCut);
    QVERIFY(b.pixel(1, 16) != b.entry(16));
    QVERIFY(b.pixel(206, 16) != b.entry(16));
}

// Run with QT_SCALE_FACTOR=2: the picture has a device pixel for every quarter of a logical
// one, and the border still sits on the logical pixels it takes at ratio 1.
void TstProgressBar::pictureFollowsThePixelRatio()
{
    BarOnHost b(QSize(209, 33));
    const qreal ratio = b.bar.devicePixelRatioF();
    if (ratio != 2)
        QSKIP("needs QT_SCALE_FACTOR=2");
    const QImage &picture = b.bar.picture();
    QCOMPARE(picture.size(), QSize(418, 66));
    QCOMPARE(picture.devicePixelRatio(), 2.0);
    for (QPoint device : {QPoint(200, 0), QPoint(201, 1), QPoint(414, 32), QPoint(415, 33), QPoint(200, 63)})
        QCOMPARE(picture.pixel(device), b.entry(16));
    for (QPoint device : {QPoint(416, 32), QPoint(417, 33), QPoint(200, 64), QPoint(2, 32)})
        QVERIFY(picture.pixel(device) != b.entry(16));
}

void TstProgressBar::textPosition_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QPoint>("position");

    QTest::newRow("top left") << QSize(209, 33) << 1 << QPoint(1, 0);
    QTest::newRow("middle centre: 83.5 and 9.5 to even") << QSize(209, 33) << 5 << QPoint(84, 10);
    QTest::newRow("middle centre: 84.5 and 10.5 to even") << QSize(211, 35) << 5 << QPoint(84, 10);
    QTest::newRow("bottom right") << QSize(209, 33) << 9 << QPoint(166, 20);
    QTest::newRow("middle left") << QSize(209, 33) << 2 << QPoint(1, 10);
    QTest::newRow("bottom centre") << QSize(209, 33) << 6 << QPoint(84, 20);
    QTest::newRow("top right") << QSize(209, 33) << 7 << QPoint(166, 0);
    QTest::newRow("0 takes the corner") << QSize(209, 33) << 0 << QPoint(0, 0);
    QTest::newRow("10 takes the corner") << QSize(209, 33) << 10 << QPoint(0, 0);
}

// The text measures 40 x 12; where its glyphs land, against top left at (1, 0), gives its place.
void TstProgressBar::textPosition()
{
    QFETCH(QSize, size);
    QFETCH(int, alignment);
    QFETCH(QPoint, position);
    BarOnHost b(size);
    b.bar.setTextMeasure([](const QFont &, const QString &) { return QSizeF(40, 12); });
    b.model().setTextFont(crispFont());
    b.model().setTextForeColor(Blue);
    b.model().setTextEffect(Model::BarTextEffect::Plain);
    b.model().setText(u"Hb"_s);
    b.model().setTextAlignment(Model::BarTextAlignment::TopLeft);
    b.model().setTextStyle(Model::BarTextStyle::CaptionText);
    const QRect topLeft = boundsOf(pixelsOf(b.bar.picture(), qRgb(0, 0, 255)));
    QVERIFY(!topLeft.isEmpty());

    b.model().setTextAlignment(Model::BarTextAlignment(alignment));
    const QRect glyphs = boundsOf(pixelsOf(b.bar.picture(), qRgb(0, 0, 255)));
    QCOMPARE(glyphs.topLeft() - topLeft.topLeft() + QPoint(1, 0), position);
}

void TstProgressBar::effectsPrintInOrder_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QList<QPoint>>("offsets");
    QTest::addColumn<QString>("inks");  // Text, Effect or Grey, per print

    QTest::newRow("plain") << 1 << true << QList<QPoint>{{0, 0}} << u"T"_s;
    QTest::newRow("raised") << 2 << true << QList<QPoint>{{-1, -1}, {1, 1}, {0, 0}} << u"EGT"_s;
    QTest::newRow("sunken") << 3 << true << QList<QPoint>{{1, 1}, {-1, 0}, {0, 0}} << u"EGT"_s;
    QTest::newRow("outline") << 4 << true << QList<QPoint>{{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {0, 0}} << u"EEEET"_s;
    QTest::newRow("shadow") << 5 << true << QList<QPoint>{{1, 1}, {0, 0}} << u"ET"_s;
    QTest::newRow("raised, disabled: grey stays 128")
        << 2 << false << QList<QPoint>{{-1, -1}, {1, 1}, {0, 0}} << u"EGT"_s;
    QTest::newRow("sunken, disabled") << 3 << false << QList<QPoint>{{1, 1}, {-1, 0}, {0, 0}} << u"EGT"_s;
}

// Each print covers the glyph pixels of a plain print, moved; where prints overlap the later wins.
void TstProgressBar::effectsPrintInOrder()
{
    QFETCH(int, effect);
    QFETCH(bool, enabled);
    QFETCH(QList<QPoint>, offsets);
    QFETCH(QString, inks);
    // Disabled, black text and a white effect keep their levels 0 and 255.
    const Colour text = enabled ? Blue : 0x000000;
    const Colour effectColour = enabled ? Red : 0xFFFFFF;
    BarOnHost b(QSize(209, 33));
    b.model().setTextFont(crispFont());
    b.model().setText(u"Bar1 下载"_s);
    b.model().setTextForeColor(text);
    b.model().setTextEffectColor(effectColour);
    b.model().setEnabled(enabled);
    b.model().setTextEffect(Model::BarTextEffect(0));
    b.model().setTextStyle(Model::BarTextStyle::CaptionText);
    QImage expected = b.bar.picture().copy();
    b.model().setTextEffect(Model::BarTextEffect::Plain);
    const QList<QPoint> glyphs = pixelsOf(b.bar.picture(), toQRgb(text));
    QVERIFY(glyphs.size() > 20);

    b.model().setTextEffect(Model::BarTextEffect(effect));
    for (int i = 0; i < offsets.size(); ++i) {
        const QRgb ink = inks[i] == u'T' ? toQRgb(text) : inks[i] == u'E' ? toQRgb(effectColour) : qRgb(128, 128, 128);
        for (const QPoint &glyph : glyphs)
            expected.setPixel(glyph + offsets[i], ink);
    }
    QCOMPARE(b.bar.picture(), expected);
}

void TstProgressBar::textFollowsStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QList<int>>("range");  // Min, Max, Value
    QTest::addColumn<QString>("text");

    QTest::newRow("a third: 15 digits") << 2 << QList<int>{0, 3, 1} << u"33.3333333333333%"_s;
    QTest::newRow("whole percent") << 2 << QList<int>{0, 100, 37} << u"37%"_s;
    QTest::newRow("half") << 2 << QList<int>{0, 100, 50} << u"50%"_s;
    QTest::newRow("no trailing zeros") << 2 << QList<int>{0, 8, 1} << u"12.5%"_s;
    QTest::newRow("Min does not enter") << 2 << QList<int>{40, 100, 70} << u"70%"_s;
    QTest::newRow("value") << 1 << QList<int>{0, 1000, 375} << u"375"_s;
    QTest::newRow("caption") << 3 << QList<int>{0, 100, 50} << u"下载中"_s;
}

void TstProgressBar::textFollowsStyle()
{
    QFETCH(int, style);
    QFETCH(QList<int>, range);
    QFETCH(QString, text);
    BarOnHost b(QSize(209, 33));
    QString measured;
    b.bar.setTextMeasure([&measured](const QFont &, const QString &drawn) {
        measured = drawn;
        return QSizeF(40, 12);
    });
    b.model().setText(u"下载中"_s);
    b.model().setMax(range[1]);
    b.model().setMin(range[0]);
    b.model().setValue(range[2]);

    b.model().setTextStyle(Model::BarTextStyle(style));
    QCOMPARE(measured, text);
}

void TstProgressBar::noTextForOtherStylesOrEffects_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("effect");

    QTest::newRow("style 0") << 0 << 5;
    QTest::newRow("style 4") << 4 << 1;
    QTest::newRow("effect 0") << 3 << 0;
    QTest::newRow("effect 6") << 2 << 6;
}

void TstProgressBar::noTextForOtherStylesOrEffects()
{
    QFETCH(int, style);
    QFETCH(int, effect);
    BarOnHost b(QSize(209, 33));
    b.model().setTextFont(crispFont());
    b.model().setTextForeColor(Blue);
    b.model().setTextEffectColor(Red);
    b.model().setTextEffect(Model::BarTextEffect(effect));
    b.model().setTextStyle(Model::BarTextStyle(style));

    QVERIFY(pixelsOf(b.bar.picture(), qRgb(0, 0, 255)).isEmpty());
    QVERIFY(pixelsOf(b.bar.picture(), qRgb(255, 0, 0)).isEmpty());
}

// Marks that would make rich text vanish are printed as they stand.
void TstProgressBar::captionIsPlainText()
{
    BarOnHost b(QSize(209, 33));
    b.model().setTextFont(crispFont());
    b.model().setTextForeColor(Blue);
    b.model().setTextEffect(Model::BarTextEffect::Plain);
    b.model().setText(u"<i></i>"_s);
    b.model().setTextStyle(Model::BarTextStyle::CaptionText);

    QVERIFY(boundsOf(pixelsOf(b.bar.picture(), qRgb(0, 0, 255))).width() > 20);
}

void TstProgressBar::hostHearsOfAChangeBeforeTheRedraw()
{
    BarOnHost b(QSize(100, 20));
    QString drawn;
    b.bar.setTextMeasure([&drawn](const QFont &, const QString &text) {
        drawn = text;
        return QSizeF(20, 10);
    });
    b.model().setTextStyle(Model::BarTextStyle::PercentText);
    QStringList heard;
    QStringList drawnWhenHeard;
    connect(&b.bar, &ProgressBar::PropertyChanged, this, [&](const QString &name) {
        heard.append(name);
        drawnWhenHeard.append(drawn);
    });

    b.model().setValue(80);
    b.model().setMax(40);

    QCOMPARE(heard, QStringList({u"Value"_s, u"Value"_s, u"Max"_s}));
    QCOMPARE(drawnWhenHeard, QStringList({u"50%"_s, u"80%"_s, u"100%"_s}));
}

void TstProgressBar::resizeRedraws()
{
    BarOnHost b(QSize(209, 33));

    b.bar.resize(300, 40);

    QCOMPARE(b.bar.picture().size(), QSize(300, 40));
    QCOMPARE(b.pixel(149, 20), b.entry(12));
    QCOMPARE(b.pixel(150, 20), b.entry(4));
    QVERIFY(!b.bar.mask().contains(QPoint(299, 39)));
    QVERIFY(b.bar.mask().contains(QPoint(299, 20)));
}

void TstProgressBar::takesItsNameAndFontFromTheHost()
{
    QWidget host;
    host.setFont(QFont(u"宋体"_s, 9));
    ProgressBar bar(&host);
    bar.setObjectName(u"ProgressBar1"_s);

    bar.ReadProperties(PropertyBag());
    QCOMPARE(bar.model().Text(), u"ProgressBar1"_s);
    QCOMPARE(bar.model().TextFont().family(), u"宋体"_s);

    PropertyBag saved;
    bar.WriteProperties(saved);
    QVERIFY(!saved.names().contains(u"TextFont"_s));
    QVERIFY(saved.names().contains(u"Text"_s));
}

void TstProgressBar::twoColourGradient_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QRect>("edges");  // left, top, right and bottom edges as given
    QTest::addColumn<bool>("drawn");

    QTest::newRow("left to right") << 0 << QRect(QPoint(2, 1), QPoint(10, 6)) << true;
    QTest::newRow("top to bottom") << 1 << QRect(QPoint(2, 1), QPoint(10, 6)) << true;
    QTest::newRow("zero width") << 0 << QRect(QPoint(3, 1), QPoint(3, 6)) << false;
    QTest::newRow("zero height") << 1 << QRect(QPoint(2, 4), QPoint(10, 4)) << false;
    QTest::newRow("right edge before left") << 0 << QRect(QPoint(8, 1), QPoint(2, 6)) << false;
    QTest::newRow("direction 2") << 2 << QRect(QPoint(2, 1), QPoint(10, 6)) << false;
}

// Width and Height are the right and bottom edges, not part of the rectangle; the first pixel is
// the start colour and the colour changes only along the direction.
void TstProgressBar::twoColourGradient()
{
    QFETCH(int, direction);
    QFETCH(QRect, edges);
    QFETCH(bool, drawn);
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    ProgressBar::GradientTwoColour(painter, direction, rgb(0, 0, 200), rgb(240, 120, 0), edges.left(), edges.top(),
                                   edges.right(), edges.bottom());
    painter.end();

    const QRect area(QPoint(2, 1), QSize(8, 5));
    QCOMPARE(pixelsOf(image, qRgb(0, 0, 0)).size(),
             image.width() * image.height() - (drawn ? area.width() * area.height() : 0));
    if (!drawn)
        return;
    QCOMPARE(image.pixel(area.topLeft()), qRgb(0, 0, 200));
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            QCOMPARE(image.pixel(x, y), direction == 0 ? image.pixel(x, area.top()) : image.pixel(area.left(), y));
    }
    // The last pixel is one step of the span short of the end colour.
    const QPoint last = direction == 0 ? QPoint(area.right(), area.top()) : QPoint(area.left(), area.bottom());
    const int steps = direction == 0 ? area.width() : area.height();
    QVERIFY(qAbs(qRed(image.pixel(last)) - 240 * (steps - 1) / steps) <= 2);
}

void TstProgressBar::fourColourGradientStopsOneStepShort()
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QVERIFY(ProgressBar::DrawGradientFourColour(painter, 1, 2, 4, 2, rgb(0, 0, 0), rgb(40, 0, 0), rgb(0, 80, 0),
                                                rgb(40, 80, 0)));
    painter.end();

    QImage expected(8, 6, QImage::Format_RGB32);
    expected.fill(Qt::black);
    for (int x = 0; x < 4; ++x) {
        expected.setPixel(1 + x, 2, qRgb(10 * x, 0, 0));
        expected.setPixel(1 + x, 3, qRgb(10 * x, 40, 0));
    }
    QCOMPARE(image, expected);
}

void TstProgressBar::fourColourGradientRefusesBadSizes()
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QVERIFY(!ProgressBar::DrawGradientFourColour(painter, 0, 0, 0, 4, Red, Red, Red, Red));
    QVERIFY(!ProgressBar::DrawGradientFourColour(painter, 0, 0, 4, -1, Red, Red, Red, Red));
    QVERIFY(ProgressBar::DrawGradientFourColour(painter, 0, 0, 4, 0, Red, Red, Red, Red));
    painter.end();
    QCOMPARE(pixelsOf(image, qRgb(0, 0, 0)).size(), 8 * 6);
}

// A rectangle far larger than the surface is filled where it shows, without a row of its size.
void TstProgressBar::fourColourGradientDrawsOnlyWhatShows()
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QVERIFY(ProgressBar::DrawGradientFourColour(painter, -5, -5, INT_MAX, INT_MAX, Red, Red, Red, Red));
    painter.end();
    QCOMPARE(pixelsOf(image, qRgb(255, 0, 0)).size(), 8 * 6);
}

// Assistive technologies see the model's range and value, and the printed text as the value's
// words. (That each new value is told once is seen by the desktop's reader in tests/a11y.)
void TstProgressBar::readOutAsAProgressBar_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QList<int>>("range");  // Min, Max
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    const int percent = int(Model::BarTextStyle::PercentText);
    QTest::newRow("a download's percentage") << percent << QList{0, 100} << 42 << 42 << u"42%"_s;
    QTest::newRow("past the end is the end") << percent << QList{0, 100} << 150 << 100 << u"100%"_s;
    QTest::newRow("percent of another maximum") << percent << QList{0, 200} << 50 << 50 << u"25%"_s;
    QTest::newRow("value with a raised minimum")
        << int(Model::BarTextStyle::ValueText) << QList{10, 50} << 5 << 10 << u"10"_s;
    QTest::newRow("caption") << int(Model::BarTextStyle::CaptionText) << QList{0, 100} << 7 << 7 << u"下载"_s;
}

void TstProgressBar::readOutAsAProgressBar()
{
    QFETCH(int, style);
    QFETCH(QList<int>, range);
    QFETCH(int, set);
    QFETCH(int, value);
    QFETCH(QString, text);

    BarOnHost host(QSize(209, 33));
    host.model().setTextStyle(Model::BarTextStyle(style));
    host.model().setText(u"下载"_s);
    host.model().setMax(range[1]);
    host.model().setMin(range[0]);
    host.model().setValue(set);
    host.bar.setAccessibleDescription(u"1.0 MB / 2.0 MB，1.0 MB/秒，剩余 1 秒"_s);

    QAccessibleInterface *readOut = QAccessible::queryAccessibleInterface(&host.bar);
    QVERIFY(readOut);
    QCOMPARE(readOut->role(), QAccessible::ProgressBar);
    QCOMPARE(readOut->text(QAccessible::Value), text);
    QCOMPARE(readOut->text(QAccessible::Description), u"1.0 MB / 2.0 MB，1.0 MB/秒，剩余 1 秒"_s);
    QAccessibleValueInterface *readValue = readOut->valueInterface();
    QVERIFY(readValue);
    QCOMPARE(readValue->currentValue().toInt(), value);
    QCOMPARE(readValue->minimumValue().toInt(), range[0]);
    QCOMPARE(readValue->maximumValue().toInt(), range[1]);
}

QTEST_MAIN(TstProgressBar)
#include "tst_progressbar.moc"
