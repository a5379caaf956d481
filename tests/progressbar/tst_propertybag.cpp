#include "progressbar/PropertyBag.h"

#include <QFont>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstPropertyBag : public QObject
{
    Q_OBJECT

private slots:
    void valueEqualToItsDefaultIsNotKept();
    void namesMatchWithoutRegardToCase();
    void fontsKeepFaceSizeWeightAndStyle();
    void textFormRoundTrips_data();
    void textFormRoundTrips();
    void malformedTextIsRefused_data();
    void malformedTextIsRefused();
};

void TstPropertyBag::valueEqualToItsDefaultIsNotKept()
{
    PropertyBag bag;
    bag.WriteProperty(u"Max"_s, 100, 100);
    bag.WriteProperty(u"Min"_s, 20, 0);
    bag.WriteProperty(u"Text"_s, QString(), QString());
    QCOMPARE(bag.names(), QStringList{u"Min"_s});
    QCOMPARE(bag.ReadProperty(u"Max"_s, 100), QVariant(100));
    QCOMPARE(bag.ReadProperty(u"Min"_s, 0), QVariant(20));

    // Writing the default again drops what was kept, so reading gives the default.
    bag.WriteProperty(u"Min"_s, 0, 0);
    QCOMPARE(bag.names(), QStringList());
    QCOMPARE(bag.ReadProperty(u"Min"_s, 0), QVariant(0));
}

void TstPropertyBag::namesMatchWithoutRegardToCase()
{
    PropertyBag bag;
    bag.WriteProperty(u"TextStyle"_s, 2, 1);
    bag.WriteProperty(u"textstyle"_s, 3, 1);
    QCOMPARE(bag.names(), QStringList{u"TextStyle"_s});
    QCOMPARE(bag.ReadProperty(u"TEXTSTYLE"_s, 1), QVariant(3));
}

void TstPropertyBag::fontsKeepFaceSizeWeightAndStyle()
{
    QFont font(u"宋体"_s);
    font.setPointSizeF(10.5);
    font.setWeight(QFont::Bold);
    font.setUnderline(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    QFont same = font;
    same.setLetterSpacing(QFont::AbsoluteSpacing, 0);

    PropertyBag bag;
    bag.WriteProperty(u"TextFont"_s, QVariant::fromValue(font), QVariant::fromValue(same));
    QCOMPARE(bag.names(), QStringList());

    bag.WriteProperty(u"TextFont"_s, QVariant::fromValue(font), QVariant::fromValue(QFont(u"Serif"_s, 9)));
    const QFont kept = bag.ReadProperty(u"textfont"_s, QVariant()).value<QFont>();
    QCOMPARE(kept.family(), u"宋体"_s);
    QCOMPARE(kept.pointSizeF(), 10.5);
    QCOMPARE(kept.weight(), QFont::Bold);
    QVERIFY(kept.underline());
    QVERIFY(!kept.italic());
}

void TstPropertyBag::textFormRoundTrips_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("every type") << u"Max int 500\nMin int -2147483648\nEnabled bool false\n"
                                   "TextEffectColor colour 0xFFFFFF\nPBSCustomeColor1 colour 0xFFFFFFFF\n"
                                   "Text string \"ProgressBar1\"\nTextFont font \"宋体\" 9 400 0 0 0\n"_s;
    QTest::newRow("escapes") << u"Text string \"say \\\"hi\\\" \\\\ \\n\\r\\t\\u0001 中文 😀\"\n"_s;
    QTest::newRow("lone surrogate") << u"Text string \"\\uD800x\"\n"_s;
    QTest::newRow("fractional font") << u"TextFont font \"Noto Sans CJK SC\" 10.5 700 1 1 1\n"_s;
    QTest::newRow("font face with a comma") << u"TextFont font \"宋,体\" 9 400 0 0 0\n"_s;
    QTest::newRow("font face with a place marker") << u"TextFont font \"%2 face\" 9 400 0 0 0\n"_s;
}

void TstPropertyBag::textFormRoundTrips()
{
    QFETCH(QString, text);
    const Result<PropertyBag, PropertyBag::TextError> bag = PropertyBag::fromText(text);
    QVERIFY(bag);
    QCOMPARE(bag->toText(), text);
    const Result<PropertyBag, PropertyBag::TextError> again = PropertyBag::fromText(bag->toText());
    QVERIFY(again);
    QCOMPARE(*again, *bag);
}

void TstPropertyBag::malformedTextIsRefused_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("unknown type") << u"Max long 5"_s;
    QTest::newRow("name with a dot") << u"Max.x int 5"_s;
    QTest::newRow("name given twice") << u"Value int 1\nVALUE int 2"_s;
    QTest::newRow("int beyond 32 bits") << u"Max int 2147483648"_s;
    QTest::newRow("int with letters") << u"Max int 5x"_s;
    QTest::newRow("two spaces") << u"Max  int 5"_s;
    QTest::newRow("trailing word") << u"Max int 5 6"_s;
    QTest::newRow("bool as number") << u"Enabled bool 1"_s;
    QTest::newRow("colour without 0x") << u"TextForeColor colour FFFFFF"_s;
    QTest::newRow("colour beyond 32 bits") << u"TextForeColor colour 0x100000000"_s;
    QTest::newRow("unterminated string") << u"Text string \"abc"_s;
    QTest::newRow("unknown escape") << u"Text string \"a\\qb\""_s;
    QTest::newRow("short unicode escape") << u"Text string \"\\u12\""_s;
    QTest::newRow("string without quotes") << u"Text string abc"_s;
    QTest::newRow("text after the string") << u"Text string \"a\"b"_s;
    QTest::newRow("font size 0") << u"TextFont font \"a\" 0 400 0 0 0"_s;
    QTest::newRow("font size not a number") << u"TextFont font \"a\" nan 400 0 0 0"_s;
    QTest::newRow("font size absurd") << u"TextFont font \"a\" 1e300 400 0 0 0"_s;
    QTest::newRow("font weight 0") << u"TextFont font \"a\" 9 0 0 0 0"_s;
    QTest::newRow("font flag 2") << u"TextFont font \"a\" 9 400 2 0 0"_s;
    QTest::newRow("font missing a flag") << u"TextFont font \"a\" 9 400 0 0"_s;
    QTest::newRow("value missing") << u"Max int"_s;
}

void TstPropertyBag::malformedTextIsRefused()
{
    QFETCH(QString, text);
    QVERIFY(!PropertyBag::fromText(text));
}

QTEST_MAIN(TstPropertyBag)
#include "tst_propertybag.moc"
