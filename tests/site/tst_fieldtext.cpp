#include "site/forms/FieldText.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// What is left of a field, and whether anything of it shows.
class TstFieldText : public QObject
{
    Q_OBJECT

private slots:
    void removesControlAndFormatCharacters_data();
    void removesControlAndFormatCharacters();
};

void TstFieldText::removesControlAndFormatCharacters_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<bool>("blank");

    QTest::newRow("plain") << u"西游记 全本"_s << u"西游记 全本"_s << u"西游记 全本"_s << false;
    QTest::newRow("terminal escapes") << u"\x1b]0;owned\x07\x1b[2J书"_s << u"]0;owned[2J书"_s << u"]0;owned[2J书"_s
                                      << false;
    QTest::newRow("bidirectional override") << u"\u202etxt.exe\u202c"_s << u"txt.exe"_s << u"txt.exe"_s << false;
    QTest::newRow("isolates and marks") << u"\u2066a\u2069\u200e\u200fb"_s << u"ab"_s << u"ab"_s << false;
    QTest::newRow("zero-width only") << u"\u200b\u200b"_s << QString() << QString() << true;
    QTest::newRow("hangul filler only") << u"\u3164\u3164"_s << u"\u3164\u3164"_s << u"\u3164\u3164"_s << true;
    QTest::newRow("spaces and fillers") << u" \u3000\uffa0 \ufe0f"_s << u"\uffa0 \ufe0f"_s << u"\uffa0 \ufe0f"_s << true;
    QTest::newRow("format character beyond the BMP") << u"a\U000E0041b"_s << u"ab"_s << u"ab"_s << false;
    QTest::newRow("a letter beyond the BMP stays") << u"\U00020000"_s << u"\U00020000"_s << u"\U00020000"_s << false;
    QTest::newRow("lone surrogate") << u"a"_s + QChar(0xD800) + u"b"_s << u"ab"_s << u"ab"_s << false;
    QTest::newRow("line breaks") << u"一\r\n二\r三\n\t四"_s << u"一 二 三 四"_s << u"一\n二\n三\n\t四"_s << false;
}

void TstFieldText::removesControlAndFormatCharacters()
{
    QFETCH(QString, typed);
    QTEST(FieldText::line(typed), "line");
    QTEST(FieldText::lines(typed), "lines");
    QTEST(FieldText::isBlank(FieldText::line(typed)), "blank");
}

QTEST_APPLESS_MAIN(TstFieldText)
#include "tst_fieldtext.moc"
