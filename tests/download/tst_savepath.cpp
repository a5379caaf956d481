#include "download/SavePath.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstSavePath : public QObject
{
    Q_OBJECT

private slots:
    void titleBecomesOneFolderName_data();
    void titleBecomesOneFolderName();
    void addressMustStayBelowTheFolder_data();
    void addressMustStayBelowTheFolder();
};

void TstSavePath::titleBecomesOneFolderName_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("folder");

    QTest::newRow("plain, with a space") << u"A B"_s << u"A B"_s;
    QTest::newRow("Chinese") << u"西游记 全本"_s << u"西游记 全本"_s;
    QTest::newRow("slashes, no hidden folder") << u"../../etc/x"_s << u"_.._etc_x"_s;
    QTest::newRow("backslashes") << u"..\\..\\x"_s << u"_.._x"_s;
    QTest::newRow("dot") << u"."_s << u"_"_s;
    QTest::newRow("dot dot") << u".."_s << u"_"_s;
    QTest::newRow("only dots and spaces") << u". . ."_s << u"_"_s;
    QTest::newRow("leading dot") << u".bashrc"_s << u"bashrc"_s;
    QTest::newRow("trailing dots and spaces") << u"资源 v1.. . "_s << u"资源 v1"_s;
    QTest::newRow("control characters") << u"a\tb\nc\x7f"_s << u"a_b_c_"_s;
    QTest::newRow("reserved") << u"CON"_s << u"_CON"_s;
    QTest::newRow("reserved, any case, with extension") << u"nul.tar.gz"_s << u"_nul.tar.gz"_s;
    QTest::newRow("reserved once the dot goes") << u"com1."_s << u"_com1"_s;
    QTest::newRow("reserved word inside a name") << u"CONSOLE"_s << u"CONSOLE"_s;
    QTest::newRow("255 bytes of Chinese") << QString(90, u'中') << QString(85, u'中');
    const QString face = QString::fromUcs4(U"\U0001F600");
    QTest::newRow("pair not split") << QString(254, u'a') + face << QString(254, u'a');
    QTest::newRow("four-byte characters") << face.repeated(64) << face.repeated(63);
    QTest::newRow("cut ends in a space") << QString(254, u'a') + u" b"_s << QString(254, u'a');
}

void TstSavePath::titleBecomesOneFolderName()
{
    QFETCH(QString, title);
    QFETCH(QString, folder);
    QCOMPARE(SavePath::folderName(title), folder);
}

void TstSavePath::addressMustStayBelowTheFolder_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("safe");

    QTest::newRow("file") << u"x.rar"_s << true;
    QTest::newRow("sub-folders") << u"2024/05/x.zip"_s << true;
    QTest::newRow("dots inside a name") << u"a..b/v1.2.zip"_s << true;
    QTest::newRow("parent") << u"../x.rar"_s << false;
    QTest::newRow("parent in the middle") << u"a/../../x"_s << false;
    QTest::newRow("backslash parent") << u"a\\..\\..\\x"_s << false;
    QTest::newRow("absolute") << u"/etc/passwd"_s << false;
    QTest::newRow("current folder") << u"./x"_s << false;
    QTest::newRow("empty segment") << u"a//b"_s << false;
    QTest::newRow("trailing slash") << u"a/"_s << false;
    QTest::newRow("only dot dot") << u".."_s << false;
    QTest::newRow("hidden file") << u"a/.profile"_s << false;
    QTest::newRow("trailing dot") << u"x.rar."_s << false;
    QTest::newRow("reserved") << u"a/CON.txt"_s << false;
    QTest::newRow("control character") << u"a\u0001b"_s << false;
    QTest::newRow("255-byte name") << QString(255, u'n') << true;
    QTest::newRow("256-byte name") << QString(256, u'n') << false;
}

void TstSavePath::addressMustStayBelowTheFolder()
{
    QFETCH(QString, address);
    QFETCH(bool, safe);
    QCOMPARE(SavePath::isSafeAddress(address), safe);
}

QTEST_APPLESS_MAIN(TstSavePath)
#include "tst_savepath.moc"
