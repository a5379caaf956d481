#include "site/forms/UploadName.h"
#include "site/http/ContentDisposition.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;
using Error = UploadError;

// The name an upload is stored under, and the name its download is offered as.
class TstUploadName : public QObject
{
    Q_OBJECT

private slots:
    void storedName_data();
    void storedName();
    void offeredAsAttachment_data();
    void offeredAsAttachment();
};

void TstUploadName::storedName_data()
{
    QTest::addColumn<QString>("clientName");
    QTest::addColumn<QString>("stored");  // empty when refused
    QTest::addColumn<Error>("error");

    const QString han(100, u'汉');  // three bytes each
    const Error none = Error::Malformed;
    QTest::newRow("kept") << u"词库.txt"_s << u"词库.txt"_s << none;
    QTest::newRow("marks replaced") << u" 《三国》 (上)?.txt "_s << u"_三国__(上)_.txt"_s << none;
    QTest::newRow("what Windows forbids") << u"a<b>:c|d?e#f%22g*h.mp3"_s << u"a_b__c_d_e_f_22g_h.mp3"_s << none;
    QTest::newRow("86 han, cut keeping the extension") << han.first(86) + u".txt"_s << han.first(65) + u".txt"_s << none;
    QTest::newRow("exactly 200 bytes") << han.first(65) + u"a.txt"_s << han.first(65) + u"a.txt"_s << none;
    QTest::newRow("201 bytes") << han.first(65) + u"ab.txt"_s << han.first(65) + u"a.txt"_s << none;
    QTest::newRow("cut between characters")
        << u"ab"_s + han.first(80) + u".zip"_s << u"ab"_s + han.first(64) + u".zip"_s << none;
    QTest::newRow("no extension") << han << han.first(66) << none;
    QTest::newRow("suffix too long to be one") << u"a."_s + han.first(90) << u"a."_s + han.first(66) << none;
    QTest::newRow("hidden name shown") << u".config..."_s << u"_config"_s << none;
    QTest::newRow("empty") << u"  "_s << QString() << Error::NoFile;
    QTest::newRow("path") << u"../a.txt"_s << QString() << Error::UnsafeFileName;
    QTest::newRow("windows path") << u"C:\\a.txt"_s << QString() << Error::UnsafeFileName;
    QTest::newRow("control character") << u"a\u0001.txt"_s << QString() << Error::UnsafeFileName;
    QTest::newRow("only dots") << u"..."_s << QString() << Error::UnsafeFileName;
    QTest::newRow("over 100 characters") << han + u".txt"_s << QString() << Error::FileNameTooLong;
}

void TstUploadName::storedName()
{
    QFETCH(QString, clientName);
    QFETCH(QString, stored);
    const auto name = UploadName::stored(clientName);
    QCOMPARE(name.ok(), !stored.isEmpty());
    if (name) {
        QCOMPARE(*name, stored);
        QVERIFY(name->toUtf8().size() <= UploadName::MaxBytes);
    } else {
        QTEST(name.error(), "error");
    }
}

void TstUploadName::offeredAsAttachment_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("header");

    QTest::newRow("ascii") << u"notes.md"_s << "attachment; filename=\"notes.md\"; filename*=UTF-8''notes.md"_ba;
    QTest::newRow("han") << u"词库.txt"_s
                         << "attachment; filename=\"__.txt\"; filename*=UTF-8''%E8%AF%8D%E5%BA%93.txt"_ba;
    QTest::newRow("marks") << u"a \"b\"\\%;c&(1).txt"_s
                           << "attachment; filename=\"a _b___;c&(1).txt\"; "
                              "filename*=UTF-8''a%20%22b%22%5C%25%3Bc&%281%29.txt"_ba;
    QTest::newRow("outside the basic plane")
        << u"😀.png"_s << "attachment; filename=\"_.png\"; filename*=UTF-8''%F0%9F%98%80.png"_ba;
}

void TstUploadName::offeredAsAttachment()
{
    QFETCH(QString, fileName);
    QTEST(ContentDisposition::attachment(fileName), "header");
}

QTEST_GUILESS_MAIN(TstUploadName)
#include "tst_uploadname.moc"
