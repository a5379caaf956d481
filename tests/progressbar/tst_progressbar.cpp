#include "progressbar/ProgressBar.h"

#include "progressbar/PropertyBag.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void fillFollowsValueAndMax_data();
    void fillFollowsValueAndMax();
    void hostHearsOfAChangeBeforeTheRedraw();
    void resizeRedraws();
    void takesItsNameAndFontFromTheHost();

private:
    // Pixels along the fill's direction, from its start, that differ from an empty track.
    static int filledPixels(const QImage &picture, bool vertical);
};

int TstProgressBar::filledPixels(const QImage &picture, bool vertical)
{
    ProgressBar empty;
    empty.resize(1, 1);
    empty.InitProperties();
    empty.model().setValue(0);
    const QRgb track = empty.picture().pixel(0, 0);

    const int extent = vertical ? picture.height() : picture.width();
    const auto at = [&](int i) {
        return vertical ? picture.pixel(picture.width() / 2, i) : picture.pixel(i, picture.height() / 2);
    };
    int filled = 0;
    while (filled < extent && at(filled) != track)
        ++filled;
    return filled;
}

void TstProgressBar::fillFollowsValueAndMax_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QList<int>>("range");  // Min, Max, Value
    QTest::addColumn<int>("filled");

    QTest::newRow("half of 209 rounds to even") << QSize(209, 33) << 1 << QList<int>{0, 100, 50} << 104;
    QTest::newRow("half of 211 rounds to even") << QSize(211, 33) << 1 << QList<int>{0, 100, 50} << 106;
    QTest::newRow("Min does not enter") << QSize(200, 33) << 1 << QList<int>{40, 100, 70} << 140;
    QTest::newRow("1 of 1000 fills nothing") << QSize(209, 33) << 1 << QList<int>{0, 1000, 1} << 0;
    QTest::newRow("0 fills nothing") << QSize(209, 33) << 1 << QList<int>{0, 100, 0} << 0;
    QTest::newRow("vertical fills from the top") << QSize(33, 120) << 2 << QList<int>{0, 100, 25} << 30;
    QTest::newRow("other orientations draw no bar") << QSize(209, 33) << 3 << QList<int>{0, 100, 50} << 0;
}

void TstProgressBar::fillFollowsValueAndMax()
{
    QFETCH(QSize, size);
    QFETCH(int, orientation);
    QFETCH(QList<int>, range);
    QFETCH(int, filled);
    QWidget host;
    ProgressBar bar(&host);
    bar.resize(size);
    host.show();
    bar.InitProperties();

    bar.model().setOrientations(ProgressBarModel::BarOrientation(orientation));
    bar.model().setMax(range[1]);
    bar.model().setMin(range[0]);
    bar.model().setValue(range[2]);

    QCOMPARE(bar.picture().size(), size);
    QCOMPARE(filledPixels(bar.picture(), orientation == 2), filled);
}

void TstProgressBar::hostHearsOfAChangeBeforeTheRedraw()
{
    QWidget host;
    ProgressBar bar(&host);
    bar.resize(100, 20);
    host.show();
    bar.InitProperties();
    QStringList heard;
    QList<int> filledWhenHeard;
    connect(&bar, &ProgressBar::PropertyChanged, this, [&](const QString &name) {
        heard.append(name);
        filledWhenHeard.append(filledPixels(bar.picture(), false));
    });

    bar.model().setValue(80);
    bar.model().setMax(40);

    QCOMPARE(heard, QStringList({u"Value"_s, u"Value"_s, u"Max"_s}));
    QCOMPARE(filledWhenHeard, QList<int>({50, 80, 100}));
    QCOMPARE(filledPixels(bar.picture(), false), 100);
}

void TstProgressBar::resizeRedraws()
{
    QWidget host;
    ProgressBar bar(&host);
    host.show();
    bar.InitProperties();

    bar.resize(300, 40);

    QCOMPARE(bar.picture().size(), QSize(300, 40));
    QCOMPARE(filledPixels(bar.picture(), false), 150);
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

QTEST_MAIN(TstProgressBar)
#include "tst_progressbar.moc"
