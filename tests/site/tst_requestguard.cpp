#include "site/http/RequestGuard.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Verdict = RequestGuard::Verdict;

Q_DECLARE_METATYPE(RequestGuard::Verdict)

// The reading of request heads, before any body: what is taken, what is refused, and how a
// client's wish to keep the connection is read.
class TstRequestGuard : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
    void keepAlive_data();
    void keepAlive();
    void headEndsAtItsEmptyLine();
};

void TstRequestGuard::verdicts_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<Verdict>("verdict");
    const QByteArray get = "GET / HTTP/1.1\r\n";
    QTest::newRow("complete") << get + "Host: a\r\n\r\n" << Verdict::Complete;
    QTest::newRow("bare line feeds") << "GET / HTTP/1.1\nHost: a\n\n"_ba << Verdict::Complete;
    QTest::newRow("empty lines before") << "\r\n\r\n" + get + "\r\n" << Verdict::Complete;
    QTest::newRow("no empty line yet") << get + "Host: a\r\n" << Verdict::Incomplete;
    QTest::newRow("half a request line") << "GET /zor"_ba << Verdict::Incomplete;
    QTest::newRow("endless request line") << "GET /" + QByteArray(70000, 'a') << Verdict::HeadTooLarge;
    QTest::newRow("endless header") << get + "X: " + QByteArray(70000, 'a') << Verdict::HeadTooLarge;
    QTest::newRow("many headers") << get + QByteArray("X: a\r\n").repeated(12000) + "\r\n" << Verdict::HeadTooLarge;
    QTest::newRow("body length") << "POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n"_ba << Verdict::Complete;
    QTest::newRow("body too large") << "POST / HTTP/1.1\r\nContent-Length: 101\r\n\r\n"_ba << Verdict::BodyTooLarge;
    QTest::newRow("length overflows") << "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n"_ba
                                      << Verdict::BodyTooLarge;
    QTest::newRow("negative length") << "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"_ba << Verdict::BodyTooLarge;
    QTest::newRow("lengths disagree") << "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n"_ba
                                      << Verdict::BadRequest;
    QTest::newRow("chunked") << "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"_ba << Verdict::LengthRequired;
    QTest::newRow("HTTP/2") << "GET / HTTP/2.0\r\n\r\n"_ba << Verdict::VersionNotSupported;
    QTest::newRow("HTTP/0.9") << "GET /\r\n\r\n"_ba << Verdict::BadRequest;
    QTest::newRow("absolute target") << "GET http://a/ HTTP/1.1\r\n\r\n"_ba << Verdict::BadRequest;
    QTest::newRow("space in target") << "GET /a b HTTP/1.1\r\n\r\n"_ba << Verdict::BadRequest;
    QTest::newRow("folded header") << get + "X: a\r\n b\r\n\r\n" << Verdict::BadRequest;
    QTest::newRow("space before colon") << get + "Host : a\r\n\r\n" << Verdict::BadRequest;
    QTest::newRow("stray carriage return") << get + "X: a\rb\r\n\r\n" << Verdict::BadRequest;
    QTest::newRow("NUL in value") << get + "X: a\0b\r\n\r\n"_ba << Verdict::BadRequest;
}

void TstRequestGuard::verdicts()
{
    QFETCH(QByteArray, received);
    QFETCH(Verdict, verdict);
    QCOMPARE(RequestGuard::read(received, 100).verdict, verdict);
}

void TstRequestGuard::keepAlive_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("keepAlive");
    QTest::newRow("1.1") << "GET / HTTP/1.1\r\n\r\n"_ba << true;
    QTest::newRow("1.1 close") << "GET / HTTP/1.1\r\nConnection: Close\r\n\r\n"_ba << false;
    QTest::newRow("1.1 close in a list") << "GET / HTTP/1.1\r\nConnection: TE, close\r\n\r\n"_ba << false;
    QTest::newRow("1.0") << "GET / HTTP/1.0\r\n\r\n"_ba << false;
    QTest::newRow("1.0 keep-alive") << "GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n"_ba << true;
}

void TstRequestGuard::keepAlive()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, keepAlive);
    const RequestGuard::Result result = RequestGuard::read(head, 0);
    QCOMPARE(result.verdict, Verdict::Complete);
    QCOMPARE(result.head.keepAlive, keepAlive);
}

void TstRequestGuard::headEndsAtItsEmptyLine()
{
    const QByteArray head = "\r\nPOST /a?b=c HTTP/1.1\r\nHOST: x \r\nContent-Length: 3\r\n\r\n";
    const RequestGuard::Result result = RequestGuard::read(head + "abcGET / HTTP/1.1\r\n\r\n", 10);
    QCOMPARE(result.verdict, Verdict::Complete);
    QCOMPARE(result.head.size, head.size());
    QCOMPARE(result.head.method, "POST");
    QCOMPARE(result.head.target, "/a?b=c");
    QCOMPARE(result.head.header("host"), "x");
    QCOMPARE(result.head.contentLength, 3);
}

QTEST_GUILESS_MAIN(TstRequestGuard)
#include "tst_requestguard.moc"
