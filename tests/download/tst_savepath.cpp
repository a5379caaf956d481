#include "download/SavePath.h"

#include <QTest>

using namespace Qt::StringLiterals;

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
    QTest::newRow("slashes") << u"../../etc/x"_s << u".._.._etc_x"_s;
    QTest::newRow("backslashes") << u"..\\..\\x"_s << u".._.._x"_s;
    QTest::newRow("dot") << u"."_s << u"_"_s;
    QTest::newRow("dot dot") << u".."_s << u"_"_s;
    QTest::newRow("three dots is a name") << u"..."_s << u"..."_s;
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
}

void TstSavePath::addressMustStayBelowTheFolder()
{
    QFETCH(QString, address);
    QFETCH(bool, safe);
    QCOMPARE(SavePath::isSafeAddress(address), safe);
}

QTEST_APPLESS_MAIN(TstSavePath)
#include "tst_savepath.moc"
