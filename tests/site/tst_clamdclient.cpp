#include "site/scan/ClamdClient.h"
#include "support/LocalClamd.h"

#include <QBuffer>
#include <QLocalServer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// Several chunks, the last a short one: a signature of its whole hash matches only when every
// chunk arrived, in order.
const QByteArray ChunkedFile = randomBytes(3 * ClamdClient::ChunkBytes + 1000);

// What went wrong, for a failure's message; the description is built whether or not it fails.
template<typename T> QByteArray errorOf(const Result<T, ScanError> &result)
{
    return result ? QByteArray() : result.error().text.toUtf8();
}

}  // namespace

// What clamd's answers mean, asked of a real clamd: a verdict only for bytes it read whole.
class TstClamdClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void failures_data();
    void failures();

private:
    LocalClamd m_clamd;
    // Limits far below an upload's, to hear what clamd says past them.
    LocalClamd m_strict;
};

void TstClamdClient::initTestCase()
{
    m_clamd.addSignature(u"Test-Chunked"_s, ChunkedFile);
    QVERIFY2(m_clamd.start(), qPrintable(m_clamd.errorString()));
    const auto pinged = ClamdClient(m_clamd.socketPath()).ping();
    QVERIFY2(pinged, errorOf(pinged).constData());
    m_strict.setSetting(u"StreamMaxLength"_s, u"2M"_s);
    m_strict.setSetting(u"MaxFileSize"_s, u"1M"_s);
    QVERIFY2(m_strict.start(), qPrintable(m_strict.errorString()));
}

void TstClamdClient::answers_data()
{
    QTest::addColumn<bool>("strict");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("signature");  // empty: clean
    QTest::addColumn<QString>("error");      // part of the failure's text; empty: a verdict

    QTest::newRow("clean") << false << "just some text\n"_ba << QString() << QString();
    QTest::newRow("empty") << false << QByteArray() << QString() << QString();
    QTest::newRow("EICAR found") << false << LocalClamd::eicar() << LocalClamd::reported(LocalClamd::EicarSignature)
                                 << QString();
    QTest::newRow("matched by the hash of all its chunks")
        << false << ChunkedFile << LocalClamd::reported(u"Test-Chunked"_s) << QString();
    QTest::newRow("one byte changed in the last chunk")
        << false << QByteArray(ChunkedFile).replace(ChunkedFile.size() - 1, 1, "\x01") << QString() << QString();
    QTest::newRow("larger than clamd scans: no verdict")
        << true << randomBytes(1536 * 1024) << QString() << u"did not scan the file whole"_s;
    QTest::newRow("longer than clamd takes: its refusal")
        << true << randomBytes(3 * 1024 * 1024) << QString() << u"size limit exceeded"_s;
}

void TstClamdClient::answers()
{
    QFETCH(bool, strict);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, signature);
    QFETCH(QString, error);

    QBuffer data(&bytes);
    QVERIFY(data.open(QIODevice::ReadOnly));
    const auto scanned = ClamdClient((strict ? m_strict : m_clamd).socketPath()).scan(data);
    if (!error.isEmpty()) {
        QVERIFY(!scanned);
        QVERIFY2(scanned.error().text.contains(error), qPrintable(scanned.error().text));
        return;
    }
    QVERIFY2(scanned, errorOf(scanned).constData());
    QCOMPARE(scanned->signature, signature);
    QCOMPARE(scanned->found(), !signature.isEmpty());
}

void TstClamdClient::failures_data()
{
    QTest::addColumn<QString>("socket");  // "silent": one that takes connections and never answers
    QTest::addColumn<QString>("error");

    QTest::newRow("no clamd there") << u"/nonexistent/clamd.ctl"_s << u"cannot reach clamd"_s;
    QTest::newRow("clamd too slow") << u"silent"_s << u"did not answer within 0.5 s"_s;
}

void TstClamdClient::failures()
{
    QFETCH(QString, socket);
    QFETCH(QString, error);

    QTemporaryDir folder;
    QLocalServer silent;
    if (socket == u"silent"_s) {
        socket = folder.filePath(u"silent.sock"_s);
        // Never asked for its connections, it leaves them waiting in the system's queue.
        QVERIFY(silent.listen(socket));
    }
    const ClamdClient client(socket, std::chrono::milliseconds(500));
    QByteArray bytes = "some bytes";
    QBuffer data(&bytes);
    QVERIFY(data.open(QIODevice::ReadOnly));
    const auto scanned = client.scan(data);
    QVERIFY(!scanned);
    QVERIFY2(scanned.error().text.contains(error), qPrintable(scanned.error().text));
    const auto pinged = client.ping();
    QVERIFY(!pinged);
    QVERIFY2(pinged.error().text.contains(error), qPrintable(pinged.error().text));
}

QTEST_GUILESS_MAIN(TstClamdClient)
#include "tst_clamdclient.moc"
