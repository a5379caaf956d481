#include "progressbar/BarColours.h"

#include <QTest>

using namespace Quillmere::BarColours;
using namespace Quillmere;

class TstBarColours : public QObject
{
    Q_OBJECT

private slots:
    void greyOf_data();
    void greyOf();
    void lighten_data();
    void lighten();
    void interpolateColours_data();
    void interpolateColours();
    void fixedThemesRepeatEachEvenEntry();
    void customThemeMixesBothColours();
    void otherThemesHaveNoPalette();
};

void TstBarColours::greyOf_data()
{
    QTest::addColumn<Colour>("colour");
    QTest::addColumn<int>("level");

    QTest::newRow("white") << rgb(255, 255, 255) << 255;
    QTest::newRow("pure red") << Colour(0x0000FF) << 85;
    QTest::newRow("gold border rounds 144.67 up") << rgb(204, 168, 62) << 145;
    QTest::newRow("gold track rounds 245.33 down") << rgb(248, 246, 242) << 245;
    QTest::newRow("bits above blue are ignored") << Colour(0x80FFFFFF) << 255;
}

void TstBarColours::greyOf()
{
    QFETCH(Colour, colour);
    QFETCH(int, level);
    QCOMPARE(GreyOf(colour), rgb(level, level, level));
}

void TstBarColours::lighten_data()
{
    QTest::addColumn<Colour>("colour");
    QTest::addColumn<int>("amount");
    QTest::addColumn<Colour>("lightened");

    QTest::newRow("blue keeps its full channel") << rgb(0, 0, 255) << 180 << rgb(180, 180, 255);
    QTest::newRow("each channel on its own") << rgb(10, 100, 200) << 50 << rgb(60, 150, 250);
    QTest::newRow("a negative sum turns positive") << rgb(10, 100, 0) << -50 << rgb(40, 50, 50);
    QTest::newRow("no wrap past 255") << rgb(250, 250, 250) << 180 << rgb(255, 255, 255);
}

void TstBarColours::lighten()
{
    QFETCH(Colour, colour);
    QFETCH(int, amount);
    QFETCH(Colour, lightened);
    QCOMPARE(Lighten(colour, amount), lightened);
}

void TstBarColours::interpolateColours_data()
{
    QTest::addColumn<Colour>("start");
    QTest::addColumn<Colour>("end");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QList<Colour>>("colours");

    QTest::newRow("no steps give the start") << rgb(1, 2, 3) << rgb(9, 9, 9) << 0 << QList<Colour>{rgb(1, 2, 3)};
    QTest::newRow("both ends included") << rgb(0, 0, 0) << rgb(30, 60, 90) << 3
                                        << QList<Colour>{rgb(0, 0, 0), rgb(10, 20, 30), rgb(20, 40, 60), rgb(30, 60, 90)};
    QTest::newRow("halves round to even")
        << rgb(0, 3, 255) << rgb(5, 0, 0) << 2 << QList<Colour>{rgb(0, 3, 255), rgb(2, 2, 128), rgb(5, 0, 0)};
    QTest::newRow("equal channels stay") << rgb(7, 7, 7) << rgb(7, 7, 7) << 4 << QList<Colour>(5, rgb(7, 7, 7));
    QTest::newRow("negative count gives nothing") << rgb(0, 0, 0) << rgb(9, 9, 9) << -1 << QList<Colour>{};
}

void TstBarColours::interpolateColours()
{
    QFETCH(Colour, start);
    QFETCH(Colour, end);
    QFETCH(int, steps);
    QFETCH(QList<Colour>, colours);
    QCOMPARE(InterpolateColours(start, end, steps), colours);
}

void TstBarColours::fixedThemesRepeatEachEvenEntry()
{
    const BarPalette gold = themePalette(1, 0, 0).value();
    QCOMPARE(gold[0], rgb(248, 246, 242));
    QCOMPARE(gold[8], rgb(251, 244, 223));
    QCOMPARE(gold[16], rgb(204, 168, 62));
    const BarPalette aqua = themePalette(8, 0, 0).value();
    QCOMPARE(aqua[12], rgb(63, 112, 233));
    for (const BarPalette &palette : {gold, aqua}) {
        for (int odd = 1; odd < 16; odd += 2)
            QCOMPARE(palette[odd], palette[odd - 1]);
    }
}

void TstBarColours::customThemeMixesBothColours()
{
    const Colour blue = rgb(0, 0, 255);
    const Colour grey = rgb(100, 100, 100);
    const BarPalette palette = themePalette(10, blue, grey).value();
    const QList<Colour> even = {rgb(255, 255, 255),
                                rgb(150, 150, 150),
                                grey,
                                rgb(180, 180, 180),
                                rgb(180, 180, 255),
                                rgb(50, 50, 255),
                                blue,
                                rgb(80, 80, 255),
                                blue};
    for (int i = 0; i < even.size(); ++i)
        QCOMPARE(palette[2 * i], even[i]);
    QCOMPARE(palette[13], blue);
}

void TstBarColours::otherThemesHaveNoPalette()
{
    for (qint32 theme : {0, 11, -1})
        QVERIFY(!themePalette(theme, 0xFF, 0xFF).has_value());
}

QTEST_APPLESS_MAIN(TstBarColours)
#include "tst_barcolours.moc"
