#include "platform/AsyncReader.h"

#include "support/ScriptedHttpServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Quillmere;

class TstAsyncReader : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void streamsTheBodyToItsHost_data();
    void streamsTheBodyToItsHost();
    void failedReadHandsOnNothing_data();
    void failedReadHandsOnNothing();
    void sendsTheHostsHeaderFields();
    void encodesTheAddress();
    void stalledTransferTimesOut();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
    void cancelledReadSendsNothingMore();

private:
    // Starts a read into file and waits for its completion.
    AsyncProperty readToEnd(AsyncReader &reader, const QString &url, const QString &file);
    QStringList filesInFolder() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<AsyncProperty> m_progress;
    // The body as handed on, chunk after chunk.
    QByteArray m_body;
};

void TstAsyncReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_progress.clear();
    m_body.clear();
}

AsyncProperty TstAsyncReader::readToEnd(AsyncReader &reader, const QString &url, const QString &file)
{
    const QMetaObject::Connection reporting = connect(
        &reader, &AsyncReader::AsyncReadProgress, this, [this](const AsyncProperty &property) {
            m_progress.append(property);
            m_body += property.Data;  // a deep copy: the chunk is only lent
            m_progress.last().Data.clear();
        });
    QList<AsyncProperty> completions;
    const QMetaObject::Connection collecting = connect(
        &reader, &AsyncReader::AsyncReadComplete, this,
        [&completions](const AsyncProperty &property) { completions.append(property); });
    const bool ended = reader.AsyncRead(url, AsyncReadType::Stream, file, AsyncReadForceUpdate)
        && QTest::qWaitFor([&completions] { return !completions.isEmpty(); }, 10000);
    disconnect(reporting);
    disconnect(collecting);
    // A read that was refused or never ended has a status no caller expects.
    return ended ? completions.first() : AsyncProperty{QString(), -1, 0, 0, 0, {}, {}, {}};
}

QStringList TstAsyncReader::filesInFolder() const
{
    return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

void TstAsyncReader::streamsTheBodyToItsHost_data()
{
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("announced");

    QByteArray large(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 % 251);
    QTest::newRow("with Content-Length") << ScriptedHttpServer::reply(200, large) << large << qint64(large.size());
    QTest::newRow("without Content-Length, ended by closing")
        << ScriptedHttpServer::Answer{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + large, true} << large
        << qint64(0);
    QTest::newRow("chunked")
        << ScriptedHttpServer::Answer{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n",
                                      true}
        << QByteArray("abcdefg") << qint64(0);
    QTest::newRow("empty") << ScriptedHttpServer::reply(200, QByteArray()) << QByteArray() << qint64(0);
    QTest::newRow("after a redirect")
        << ScriptedHttpServer::Answer{"HTTP/1.1 302 Found\r\nLocation: /final\r\nContent-Length: 0\r\n\r\n", true}
        << QByteArray("moved here") << qint64(10);
}

void TstAsyncReader::streamsTheBodyToItsHost()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(QByteArray, body);
    QFETCH(qint64, announced);
    ScriptedHttpServer server;
    server.setAnswer(u"/up/a.rar"_s, answer);
    server.setAnswer(
        u"/final"_s,
        ScriptedHttpServer::Answer{"HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 10\r\n\r\nmoved here", true});
    const QString file = m_dir->filePath(u"a.rar"_s);

    AsyncReader reader;
    const AsyncProperty done = readToEnd(reader, server.root() + u"up/a.rar"_s, file);

    QCOMPARE(done.StatusCode, AsyncProperty::EndDownloadData);
    QCOMPARE(done.PropertyName, file);
    QCOMPARE(done.BytesRead, body.size());
    QCOMPARE(done.BytesMax, body.size());
    QCOMPARE(m_body, body);
    QVERIFY(!m_progress.isEmpty());
    // The head comes first, once, with the final answer's fields.
    QCOMPARE(m_progress.first().StatusCode, AsyncProperty::BeginDownloadData);
    QCOMPARE(m_progress.first().HttpStatus, 200);
    QCOMPARE(m_progress.first().BytesMax, announced);
    if (announced == 10)
        QCOMPARE(m_progress.first().Headers.value("etag"), QByteArray("\"v1\""));
    qint64 previous = 0;
    for (const AsyncProperty &progress : m_progress.sliced(1)) {
        QCOMPARE(progress.StatusCode, AsyncProperty::DownloadingData);
        QVERIFY(progress.BytesRead > previous);
        previous = progress.BytesRead;
    }
    QCOMPARE(previous, body.size());
    QCOMPARE(filesInFolder(), QStringList());
}

void TstAsyncReader::failedReadHandsOnNothing_data()
{
    using Kind = TransferError::Kind;
    QTest::addColumn<ScriptedHttpServer::Answer>("answer");
    QTest::addColumn<qint32>("status");
    QTest::addColumn<Kind>("reason");

    QTest::newRow("404") << ScriptedHttpServer::reply(404, "not here") << 404 << Kind::HttpStatus;
    QTest::newRow("503 with Retry-After")
        << ScriptedHttpServer::Answer{"HTTP/1.1 503 Busy\r\nRetry-After: 5\r\nContent-Length: 4\r\n\r\nbusy", true}
        << 503 << Kind::HttpStatus;
    QTest::newRow("cut short of its Content-Length")
        << ScriptedHttpServer::Answer{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'x'), true}
        << 200 << Kind::ConnectionCut;
    QTest::newRow("reset mid-body") << ScriptedHttpServer::Answer{
        "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'x'), false,
        true} << 200 << Kind::ConnectionCut;
    QTest::newRow("chunked body cut") << ScriptedHttpServer::Answer{
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1000\r\nabc",
        true} << 200 << Kind::ConnectionCut;
    QTest::newRow("connection closed before any answer")
        << ScriptedHttpServer::Answer{QByteArray(), true} << 0 << Kind::ConnectionCut;
    QTest::newRow("redirect to a local file") << ScriptedHttpServer::Answer{
        "HTTP/1.1 302 Found\r\nLocation: file:///etc/hostname\r\nContent-Length: 0\r\n\r\n",
        true} << 302 << Kind::UnusableAnswer;
    QTest::newRow("endless redirects") << ScriptedHttpServer::Answer{
        "HTTP/1.1 302 Found\r\nLocation: /up/a.rar\r\nContent-Length: 0\r\n\r\n",
        true} << 302 << Kind::UnusableAnswer;
}

void TstAsyncReader::failedReadHandsOnNothing()
{
    QFETCH(ScriptedHttpServer::Answer, answer);
    QFETCH(qint32, status);
    QFETCH(TransferError::Kind, reason);
    ScriptedHttpServer server;
    server.setAnswer(u"/up/a.rar"_s, answer);
    const QString file = m_dir->filePath(u"a.rar"_s);

    AsyncReader reader;
    const AsyncProperty done = readToEnd(reader, server.root() + u"up/a.rar"_s, file);

    QCOMPARE(done.StatusCode, AsyncProperty::Error);
    QCOMPARE(done.PropertyName, file);
    QCOMPARE(done.HttpStatus, status);
    QCOMPARE(done.Reason.kind, reason);
    QCOMPARE(done.Reason.httpStatus, status);
    QCOMPARE(done.Reason.host, u"127.0.0.1"_s);
    if (status == 503)
        QCOMPARE(done.Headers.value("retry-after"), QByteArray("5"));
    // Only the bytes of a successful answer are handed on.
    if (status != 200)
        QVERIFY(m_body.isEmpty());
    QCOMPARE(filesInFolder(), QStringList());
}

void TstAsyncReader::sendsTheHostsHeaderFields()
{
    ScriptedHttpServer server;
    server.setAnswer(u"/a.rar"_s, ScriptedHttpServer::reply(200, "body"));

    AsyncReader reader;
    QSignalSpy completions(&reader, &AsyncReader::AsyncReadComplete);
    QVERIFY(reader.AsyncRead(server.root() + u"a.rar"_s, AsyncReadType::Stream, u"a"_s, 0,
                             {{"Range", "bytes=2-"}, {"If-Range", "\"v1\""}}));
    QVERIFY(completions.wait());
    QCOMPARE(server.requestHeaders.size(), 1);
    QCOMPARE(server.requestHeaders[0].value("range"), QByteArray("bytes=2-"));
    QCOMPARE(server.requestHeaders[0].value("if-range"), QByteArray("\"v1\""));
}

void TstAsyncReader::encodesTheAddress()
{
    ScriptedHttpServer server;
    server.setAnswer(u"/up/年终 总结.txt"_s, ScriptedHttpServer::reply(200, "notes"));

    AsyncReader reader;
    const AsyncProperty done = readToEnd(reader, server.root() + u"up/年终 总结.txt"_s, m_dir->filePath(u"a.txt"_s));

    QCOMPARE(done.StatusCode, AsyncProperty::EndDownloadData);
    QCOMPARE(server.requestedTargets, QStringList{u"/up/%E5%B9%B4%E7%BB%88%20%E6%80%BB%E7%BB%93.txt"_s});
}

void TstAsyncReader::stalledTransferTimesOut()
{
    ScriptedHttpServer server;
    server.setAnswer(u"/slow"_s, {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", false});

    AsyncReader reader(200ms);
    QCOMPARE(readToEnd(reader, server.root() + u"slow"_s, m_dir->filePath(u"slow"_s)).StatusCode, AsyncProperty::Error);
    QCOMPARE(readToEnd(reader, server.root() + u"never-answered"_s, m_dir->filePath(u"never"_s)).StatusCode,
             AsyncProperty::Error);
    QCOMPARE(filesInFolder(), QStringList());
}

void TstAsyncReader::refusesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("url");

    QTest::newRow("ftp") << u"ftp://127.0.0.1/a.rar"_s;
    QTest::newRow("local file") << u"file:///etc/hostname"_s;
    QTest::newRow("no host") << u"http:///a.rar"_s;
    QTest::newRow("relative") << u"up/a.rar"_s;
    QTest::newRow("not a URL") << u"http://exa mple.com/%zz"_s;
}

void TstAsyncReader::refusesWhatItCannotRead()
{
    QFETCH(QString, url);
    AsyncReader reader;
    QSignalSpy completions(&reader, &AsyncReader::AsyncReadComplete);

    const Result<void, AsyncReadError> started = reader.AsyncRead(url, AsyncReadType::Stream,
                                                                  m_dir->filePath(u"a.rar"_s), 0);

    QVERIFY(!started);
    QCOMPARE(started.error().number, 5);
    QVERIFY(started.error().description.contains(url));
    QCoreApplication::processEvents();
    QCOMPARE(completions.size(), 0);
    QCOMPARE(filesInFolder(), QStringList());
}

void TstAsyncReader::cancelledReadSendsNothingMore()
{
    ScriptedHttpServer stuckServer;
    stuckServer.setAnswer(u"/stuck"_s,
                          {"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(3000, 'x'), false});
    ScriptedHttpServer quickServer;
    quickServer.setAnswer(u"/quick"_s, ScriptedHttpServer::reply(200, "quick"));
    const QString stuck = m_dir->filePath(u"stuck"_s);
    QVERIFY(writeFile(stuck, "kept"));

    AsyncReader reader;
    QSignalSpy progress(&reader, &AsyncReader::AsyncReadProgress);
    QSignalSpy completions(&reader, &AsyncReader::AsyncReadComplete);
    QVERIFY(reader.AsyncRead(stuckServer.root() + u"stuck"_s, AsyncReadType::Stream, stuck, 0));
    QVERIFY(progress.wait());
    QCOMPARE(progress.last().first().value<AsyncProperty>().BytesRead, 3000);

    reader.CancelAsyncRead(stuck);
    QTRY_COMPARE(stuckServer.closedConnections, 1);
    // A read that ends after the cancel gives the cancelled one every chance to report.
    QVERIFY(reader.AsyncRead(quickServer.root() + u"quick"_s, AsyncReadType::Stream, m_dir->filePath(u"quick"_s), 0));
    QVERIFY(completions.wait());
    QCOMPARE(completions.size(), 1);
    QCOMPARE(completions.first().first().value<AsyncProperty>().PropertyName, m_dir->filePath(u"quick"_s));
    QCOMPARE(readFile(stuck), QByteArray("kept"));
    QCOMPARE(filesInFolder(), QStringList{u"stuck"_s});
}

QTEST_GUILESS_MAIN(TstAsyncReader)
#include "tst_asyncreader.moc"
