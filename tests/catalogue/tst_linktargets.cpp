#include "catalogue/LinkTargets.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstLinkTargets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyWebPagesAreBrowsable_data();
    void onlyWebPagesAreBrowsable();
};

void TstLinkTargets::onlyWebPagesAreBrowsable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QUrl>("page");

    QTest::newRow("http") << u"http://h/view/1"_s << QUrl(u"http://h/view/1"_s);
    QTest::newRow("https, spaces around") << u" https://h/v "_s << QUrl(u"https://h/v"_s);
    QTest::newRow("file") << u"file:///etc/passwd"_s << QUrl();
    QTest::newRow("javascript") << u"javascript:alert(1)"_s << QUrl();
    QTest::newRow("ftp") << u"ftp://h/a.zip"_s << QUrl();
    QTest::newRow("web address without host") << u"http:///view/1"_s << QUrl();
    QTest::newRow("local path") << u"/etc/passwd"_s << QUrl();
    QTest::newRow("empty") << QString() << QUrl();
}

void TstLinkTargets::onlyWebPagesAreBrowsable()
{
    QFETCH(QString, address);
    QFETCH(QUrl, page);
    QCOMPARE(browsableAddress(address).value_or(QUrl()), page);
}

QTEST_APPLESS_MAIN(TstLinkTargets)
#include "tst_linktargets.moc"
