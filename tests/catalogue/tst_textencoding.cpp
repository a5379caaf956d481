#include "catalogue/TextEncoding.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstTextEncoding : public QObject
{
    Q_OBJECT

private slots:
    void decodesUtf8_data();
    void decodesUtf8();
    void ill_formedBytesBecomeReplacementCharacters_data();
    void ill_formedBytesBecomeReplacementCharacters();
    void encodesKeyword_data();
    void encodesKeyword();
    void encodedKeywordIsQuerySafe();
};

void TstTextEncoding::decodesUtf8_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << QByteArray("page 1?") << u"page 1?"_s;
    QTest::newRow("chinese") << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << u"中文"_s;
    QTest::newRow("leading byte-order mark is kept") << QByteArray("\xEF\xBB\xBF"
                                                                   "abc")
                                                     << u"\uFEFFabc"_s;
    QTest::newRow("every leading byte-order mark is kept") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF"
                                                                         "A")
                                                           << u"\uFEFF\uFEFF\uFEFFA"_s;
    QTest::newRow("byte-order mark inside the text") << QByteArray("a\xEF\xBB\xBF"
                                                                   "b")
                                                     << u"a\uFEFFb"_s;
    QTest::newRow("zero byte stays inside the text") << QByteArray("ab\0cd", 5) << QString::fromUtf16(u"ab\0cd", 5);
    QTest::newRow("four-byte sequence gives a surrogate pair")
        << QByteArray("\xF0\x9F\x98\x80") << QString::fromUtf16(u"\xD83D\xDE00", 2);
}

void TstTextEncoding::decodesUtf8()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QCOMPARE(Utf8ToUnicode(body), text);
}

void TstTextEncoding::ill_formedBytesBecomeReplacementCharacters_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << u"a"_s << u"z"_s;
    QTest::newRow("truncated sequence at the end") << QByteArray("ab\xE4\xB8") << u"ab"_s << QString();
    QTest::newRow("invalid lead byte") << QByteArray("x\xFFy") << u"x"_s << u"y"_s;
    QTest::newRow("overlong encoding") << QByteArray("q\xC0\xAFr") << u"q"_s << u"r"_s;
    QTest::newRow("encoded surrogate") << QByteArray("1\xED\xA0\x80"
                                                     "2")
                                       << u"1"_s << u"2"_s;
}

// Nothing is dropped silently: the bad bytes leave at least one U+FFFD and the text around
// them arrives intact.
void TstTextEncoding::ill_formedBytesBecomeReplacementCharacters()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);

    const QString text = Utf8ToUnicode(body);
    QVERIFY(text.startsWith(prefix));
    QVERIFY(text.endsWith(suffix));
    const QString middle = text.mid(prefix.size(), text.size() - prefix.size() - suffix.size());
    QVERIFY(!middle.isEmpty());
    for (QChar c : middle)
        QCOMPARE(c, QChar(QChar::ReplacementCharacter));
}

void TstTextEncoding::encodesKeyword_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("encoded");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("letters and digits") << u"abc123XYZ"_s << u"abc123XYZ"_s;
    QTest::newRow("unreserved marks") << u"a-b.c_d~"_s << u"a-b.c_d~"_s;
    QTest::newRow("ideograph, three bytes") << u"中"_s << u"%E4%B8%AD"_s;
    QTest::newRow("two-byte form") << u"é"_s << u"%C3%A9"_s;
    QTest::newRow("three-byte form below U+1000") << u"ก"_s << u"%E0%B8%81"_s;
    QTest::newRow("space") << u"a b"_s << u"a%20b"_s;
    QTest::newRow("hash") << u"C#"_s << u"C%23"_s;
    QTest::newRow("plus") << u"C++"_s << u"C%2B%2B"_s;
    QTest::newRow("query delimiters") << u"a&t=0?"_s << u"a%26t%3D0%3F"_s;
    QTest::newRow("percent") << u"100%"_s << u"100%25"_s;
    QTest::newRow("surrogate pair, one four-byte sequence")
        << QString::fromUtf16(u"\xD83D\xDE00", 2) << u"%F0%9F%98%80"_s;
    QTest::newRow("lone high surrogate") << QString::fromUtf16(u"a\xD83D", 2) << u"a%EF%BF%BD"_s;
    QTest::newRow("lone low surrogate before a letter") << QString::fromUtf16(u"\xDE00z", 2) << u"%EF%BF%BDz"_s;
    QTest::newRow("mixed") << u"资源 v2"_s << u"%E8%B5%84%E6%BA%90%20v2"_s;
}

void TstTextEncoding::encodesKeyword()
{
    QFETCH(QString, keyword);
    QFETCH(QString, encoded);
    QCOMPARE(GBtoUTF8(keyword), encoded);
}

// Whatever the user types, the encoded keyword holds only characters that cannot end the
// parameter or start another one, and decodes back to the UTF-8 of what was typed.
void TstTextEncoding::encodedKeywordIsQuerySafe()
{
    QString keyword;
    for (char16_t c = 1; c < 0x80; ++c)
        keyword += QChar(c);
    keyword += u"中文资源é€"_s;

    const QString encoded = GBtoUTF8(keyword);
    for (QChar c : encoded) {
        QVERIFY(c.unicode() < 0x80);
        QVERIFY(c.isLetterOrNumber() || QStringView(u"-._~%").contains(c));
    }
    QCOMPARE(QByteArray::fromPercentEncoding(encoded.toLatin1()), keyword.toUtf8());
}

QTEST_APPLESS_MAIN(TstTextEncoding)
#include "tst_textencoding.moc"
