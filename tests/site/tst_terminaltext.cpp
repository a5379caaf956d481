#include "site/admin/TerminalText.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// What the operator's terminal is given of a stored field.
class TstTerminalText : public QObject
{
    Q_OBJECT

private slots:
    void escapesWhatATerminalWouldObey_data();
    void escapesWhatATerminalWouldObey();
};

void TstTerminalText::escapesWhatATerminalWouldObey_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << u"西游记 全本"_s << u"西游记 全本"_s;
    QTest::newRow("retitle and clear") << u"\x1b]0;owned\x07\x1b[2J"_s << u"\\x1b]0;owned\\x07\\x1b[2J"_s;
    QTest::newRow("tab and line break") << u"a\tb\nc"_s << u"a\\x09b\\x0ac"_s;
    QTest::newRow("C1 control") << u"a\u009bb"_s << u"a\\x9bb"_s;
    QTest::newRow("bidirectional override") << u"\u202eexe.txt"_s << u"\\u202eexe.txt"_s;
    QTest::newRow("beyond the BMP") << u"\U000E0041"_s << u"\\U000e0041"_s;
    QTest::newRow("backslash") << u"C:\\x1b"_s << u"C:\\\\x1b"_s;
}

void TstTerminalText::escapesWhatATerminalWouldObey()
{
    QFETCH(QString, stored);
    QTEST(TerminalText::escaped(stored), "shown");
}

QTEST_APPLESS_MAIN(TstTerminalText)
#include "tst_terminaltext.moc"
