#include "progressbar/ProgressBarModel.h"

#include "progressbar/PropertyBag.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

using Theme = ProgressBarModel::BarTheme;
using TextStyle = ProgressBarModel::BarTextStyle;
using Orientation = ProgressBarModel::BarOrientation;
using Alignment = ProgressBarModel::BarTextAlignment;
using Effect = ProgressBarModel::BarTextEffect;

class TstProgressBarModel : public QObject
{
    Q_OBJECT

private slots:
    void initPropertiesSetsTheDefaultsInOrder();
    void rangeSettersClamp_data();
    void rangeSettersClamp();
    void otherSettersStoreAnythingAndNotify();
    void newBarSavesWhatDiffersFromTheStoredDefaults();
    void everyKeyIsWrittenAndReadInItsOrder();
    void savedBarIsRestoredExactly_data();
    void savedBarIsRestoredExactly();
    void emptyTextComesBackAsTheDisplayName();
    void storedDesignDataWithLowerCaseKeys();
    void unusableValueLeavesItsPropertyAlone();

private:
    static QStringList names(const QSignalSpy &spy);
    const QFont m_ambient{u"Sans Serif"_s, 8};
};

QStringList TstProgressBarModel::names(const QSignalSpy &spy)
{
    QStringList names;
    for (const QList<QVariant> &arguments : spy)
        names.append(arguments.first().toString());
    return names;
}

void TstProgressBarModel::initPropertiesSetsTheDefaultsInOrder()
{
    ProgressBarModel model;
    QCOMPARE(model.Max(), 0);
    QCOMPARE(model.Enabled(), false);
    QSignalSpy changes(&model, &ProgressBarModel::PropertyChanged);

    model.InitProperties(m_ambient);

    QCOMPARE(names(changes),
             QStringList({u"Max"_s, u"Min"_s, u"Value"_s, u"RoundedValue"_s, u"Enabled"_s, u"Theme"_s,
                          u"TextForeColor"_s, u"Text"_s, u"TextAlignment"_s, u"TextEffect"_s, u"TextEffectColor"_s,
                          u"TextStyle"_s, u"Orientations"_s, u"TextFont"_s}));
    QCOMPARE(model.Value(), 50);
    QCOMPARE(model.Max(), 100);
    QCOMPARE(model.Min(), 0);
    QCOMPARE(model.RoundedValue(), 5);
    QCOMPARE(model.Enabled(), true);
    QCOMPARE(model.Theme(), Theme::Gold);
    QCOMPARE(model.TextStyle(), TextStyle::CaptionText);
    QCOMPARE(model.Orientations(), Orientation::Horizontal);
    QCOMPARE(model.TextAlignment(), Alignment::MiddleCenter);
    QCOMPARE(model.Text(), u"Ostrel ProgressBar"_s);
    QCOMPARE(model.TextEffectColor(), 0xFFFFFFu);
    QCOMPARE(model.TextEffect(), Effect::Shadow);
    QCOMPARE(model.TextForeColor(), 0u);
    QCOMPARE(model.TextFont(), m_ambient);
    QCOMPARE(model.PBSCustomeColor1(), 0u);
    QCOMPARE(model.PBSCustomeColor2(), 0u);
}

void TstProgressBarModel::rangeSettersClamp_data()
{
    QTest::addColumn<QList<int>>("start");  // Min, Max, Value
    QTest::addColumn<QString>("property");
    QTest::addColumn<int>("argument");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QStringList>("notified");

    const QList<int> standard{0, 100, 50};
    QTest::newRow("Value above Max") << standard << u"Value"_s << 150 << QList<int>{0, 100, 100}
                                     << QStringList{u"Value"_s};
    QTest::newRow("Value below Min") << QList<int>{20, 100, 50} << u"Value"_s << -5 << QList<int>{20, 100, 20}
                                     << QStringList{u"Value"_s};
    QTest::newRow("Max 0") << standard << u"Max"_s << 0 << QList<int>{0, 1, 1} << QStringList{u"Value"_s, u"Max"_s};
    QTest::newRow("Max negative above Min")
        << QList<int>{10, 100, 50} << u"Max"_s << -3 << QList<int>{10, 11, 11} << QStringList{u"Value"_s, u"Max"_s};
    QTest::newRow("Max equal to Min") << QList<int>{10, 100, 10} << u"Max"_s << 10 << QList<int>{10, 11, 10}
                                      << QStringList{u"Max"_s};
    QTest::newRow("Max below Value pulls Value down")
        << QList<int>{0, 100, 80} << u"Max"_s << 50 << QList<int>{0, 50, 50} << QStringList{u"Value"_s, u"Max"_s};
    QTest::newRow("Min at Max") << standard << u"Min"_s << 100 << QList<int>{99, 100, 99}
                                << QStringList{u"Value"_s, u"Min"_s};
    QTest::newRow("Min negative") << standard << u"Min"_s << -4 << QList<int>{0, 100, 50} << QStringList{u"Min"_s};
    QTest::newRow("Min above Value pulls Value up")
        << QList<int>{0, 100, 10} << u"Min"_s << 20 << QList<int>{20, 100, 20} << QStringList{u"Value"_s, u"Min"_s};
    QTest::newRow("Max extreme") << standard << u"Max"_s << std::numeric_limits<int>::max()
                                 << QList<int>{0, std::numeric_limits<int>::max(), 50} << QStringList{u"Max"_s};
}

void TstProgressBarModel::rangeSettersClamp()
{
    QFETCH(QList<int>, start);
    QFETCH(QString, property);
    QFETCH(int, argument);
    QFETCH(QList<int>, expected);
    QFETCH(QStringList, notified);
    ProgressBarModel model;
    model.setMax(start[1]);
    model.setMin(start[0]);
    model.setValue(start[2]);
    QCOMPARE((QList<int>{model.Min(), model.Max(), model.Value()}), start);
    QSignalSpy changes(&model, &ProgressBarModel::PropertyChanged);

    if (property == u"Value")
        model.setValue(argument);
    else if (property == u"Max")
        model.setMax(argument);
    else
        model.setMin(argument);

    QCOMPARE((QList<int>{model.Min(), model.Max(), model.Value()}), expected);
    QCOMPARE(names(changes), notified);
}

void TstProgressBarModel::otherSettersStoreAnythingAndNotify()
{
    ProgressBarModel model;
    model.InitProperties(m_ambient);
    QSignalSpy changes(&model, &ProgressBarModel::PropertyChanged);

    model.setTheme(Theme(11));
    model.setTheme(Theme(0));
    model.setTextStyle(TextStyle(0));
    model.setTextEffect(Effect(0));
    model.setOrientations(Orientation(3));
    model.setTextAlignment(Alignment(10));
    model.setRoundedValue(-7);
    model.setText(u"Ostrel ProgressBar"_s);

    QCOMPARE(names(changes),
             QStringList({u"Theme"_s, u"Theme"_s, u"TextStyle"_s, u"TextEffect"_s, u"Orientations"_s,
                          u"TextAlignment"_s, u"RoundedValue"_s, u"Text"_s}));
    QCOMPARE(model.Theme(), Theme(0));
    QCOMPARE(model.TextStyle(), TextStyle(0));
    QCOMPARE(model.TextEffect(), Effect(0));
    QCOMPARE(model.Orientations(), Orientation(3));
    QCOMPARE(model.TextAlignment(), Alignment(10));
    QCOMPARE(model.RoundedValue(), -7);
}

void TstProgressBarModel::newBarSavesWhatDiffersFromTheStoredDefaults()
{
    ProgressBarModel model;
    model.InitProperties(m_ambient);
    PropertyBag bag;
    model.WriteProperties(bag, m_ambient);

    QCOMPARE(bag.toText(),
             u"TextStyle int 3\nText string \"Ostrel ProgressBar\"\n"
             "TextEffectColor colour 0xFFFFFF\nTextEffect int 5\n"_s);
}

void TstProgressBarModel::everyKeyIsWrittenAndReadInItsOrder()
{
    ProgressBarModel model;
    model.setMax(500);
    model.setMin(20);
    model.setValue(300);
    model.setRoundedValue(9);
    model.setEnabled(false);
    model.setTheme(Theme::Custom);
    model.setTextStyle(TextStyle::PercentText);
    model.setOrientations(Orientation::Vertical);
    model.setText(u"下载"_s);
    model.setTextEffectColor(0x123456);
    model.setTextEffect(Effect::Outline);
    model.setTextAlignment(Alignment::BottomRight);
    model.setTextFont(QFont(u"Serif"_s, 12));
    model.setTextForeColor(0xFF);
    model.setPBSCustomeColor2(0xFF00);
    model.setPBSCustomeColor1(0xFF0000);

    PropertyBag bag;
    model.WriteProperties(bag, m_ambient);
    QCOMPARE(bag.names(),
             QStringList({u"Orientations"_s, u"Max"_s, u"Min"_s, u"Value"_s, u"RoundedValue"_s, u"Enabled"_s,
                          u"Theme"_s, u"TextStyle"_s, u"TextFont"_s, u"TextForeColor"_s, u"TextAlignment"_s, u"Text"_s,
                          u"TextEffectColor"_s, u"TextEffect"_s, u"PBSCustomeColor2"_s, u"PBSCustomeColor1"_s}));

    ProgressBarModel restored;
    QSignalSpy changes(&restored, &ProgressBarModel::PropertyChanged);
    restored.ReadProperties(PropertyBag(), m_ambient, u"ProgressBar1"_s);
    QCOMPARE(names(changes),
             QStringList({u"Max"_s, u"Min"_s, u"Value"_s, u"RoundedValue"_s, u"Enabled"_s, u"Theme"_s, u"TextStyle"_s,
                          u"Orientations"_s, u"Text"_s, u"TextEffectColor"_s, u"TextEffect"_s, u"TextAlignment"_s,
                          u"TextFont"_s, u"TextForeColor"_s, u"PBSCustomeColor2"_s, u"PBSCustomeColor1"_s}));
}

void TstProgressBarModel::savedBarIsRestoredExactly_data()
{
    QTest::addColumn<QString>("stored");

    QTest::newRow("range") << u"Max int 500\nMin int 20\nValue int 300\n"_s;
    QTest::newRow("range at the top") << u"Max int 7\nMin int 6\nValue int 7\n"_s;
    QTest::newRow("everything") << u"Orientations int 2\nMax int 1000\nMin int 999\nValue int 999\n"
                                   "RoundedValue int 0\nEnabled bool false\nTheme int 0\nTextStyle int 0\n"
                                   "TextFont font \"宋体\" 9 400 0 0 0\nTextForeColor colour 0xFF\n"
                                   "TextAlignment int 9\nText string \"a \\\"b\\\"\"\nTextEffectColor colour 0x0\n"
                                   "TextEffect int 0\nPBSCustomeColor2 colour 0x1\nPBSCustomeColor1 colour 0x2\n"_s;
}

void TstProgressBarModel::savedBarIsRestoredExactly()
{
    QFETCH(QString, stored);
    ProgressBarModel model;
    model.ReadProperties(*PropertyBag::fromText(stored), m_ambient, u"ProgressBar1"_s);
    PropertyBag saved;
    model.WriteProperties(saved, m_ambient);
    ProgressBarModel restored;
    restored.ReadProperties(*PropertyBag::fromText(saved.toText()), m_ambient, u"ProgressBar1"_s);

    QCOMPARE((QList<int>{restored.Min(), restored.Max(), restored.Value()}),
             (QList<int>{model.Min(), model.Max(), model.Value()}));
    PropertyBag again;
    restored.WriteProperties(again, m_ambient);
    QCOMPARE(again.toText(), saved.toText());
}

void TstProgressBarModel::emptyTextComesBackAsTheDisplayName()
{
    ProgressBarModel model;
    model.InitProperties(m_ambient);
    model.setText(QString());
    PropertyBag bag;
    model.WriteProperties(bag, m_ambient);
    QVERIFY(!bag.names().contains(u"Text"_s));

    ProgressBarModel restored;
    restored.ReadProperties(bag, m_ambient, u"ProgressBar1"_s);
    QCOMPARE(restored.Text(), u"ProgressBar1"_s);
}

void TstProgressBarModel::storedDesignDataWithLowerCaseKeys()
{
    const Result<PropertyBag, PropertyBag::TextError> design = PropertyBag::fromText(
        u"value int 0\ntextstyle int 2\ntexteffect int 5\ntexteffectcolor colour 0xFFFFFF\n"
        "textfont font \"宋体\" 9 400 0 0 0\ntext string \"ProgressBar1\"\n"_s);
    QVERIFY(design);
    ProgressBarModel model;
    model.ReadProperties(*design, m_ambient, u"ProgressBar1"_s);

    QCOMPARE(model.Value(), 0);
    QCOMPARE(model.Max(), 100);
    QCOMPARE(model.TextStyle(), TextStyle::PercentText);
    QCOMPARE(model.TextEffect(), Effect::Shadow);
    QCOMPARE(model.TextEffectColor(), 0xFFFFFFu);
    QCOMPARE(model.TextFont().family(), u"宋体"_s);
    QCOMPARE(model.TextFont().pointSizeF(), 9.0);
    QCOMPARE(model.Text(), u"ProgressBar1"_s);
    QCOMPARE(model.Theme(), Theme::Gold);
    QCOMPARE(model.Enabled(), true);
    // Host and bar agree on the value the window writes and reads back.
    model.setValue(37);
    QCOMPARE(model.Value(), 37);
    model.setValue(101);
    QCOMPARE(model.Value(), 100);
}

void TstProgressBarModel::unusableValueLeavesItsPropertyAlone()
{
    ProgressBarModel model;
    model.InitProperties(m_ambient);
    const Result<PropertyBag, PropertyBag::TextError> stored = PropertyBag::fromText(
        u"Max string \"lots\"\nValue int 70\nTheme string \"blue\"\n"_s);
    QVERIFY(stored);

    model.ReadProperties(*stored, m_ambient, u"ProgressBar1"_s);

    QCOMPARE(model.Max(), 100);
    QCOMPARE(model.Value(), 70);
    QCOMPARE(model.Theme(), Theme::Gold);
}

QTEST_MAIN(TstProgressBarModel)
#include "tst_progressbarmodel.moc"
