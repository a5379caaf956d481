#include "site/http/ByteRange.h"

#include <QDateTime>
#include <QTest>
#include <QTimeZone>

using namespace Site;

using Kind = ByteRange::Kind;

// Which part of a file of 100 bytes an answer carries, for the Range and If-Range asked.
class TstByteRange : public QObject
{
    Q_OBJECT

private slots:
    void versionBytes();
    void selects_data();
    void selects();
};

namespace {

const QDateTime Modified = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC);

}  // namespace

void TstByteRange::versionBytes()
{
    // What clients hold from earlier answers must still match.
    const ByteRange::Version version = ByteRange::versionOf(100, Modified.toTimeZone(QTimeZone(3600)));
    QCOMPARE(version.etag, QByteArray("\"64-18bcfe5687b\""));
    QCOMPARE(version.lastModified, QByteArray("Tue, 14 Nov 2023 22:13:20 GMT"));
}

void TstByteRange::selects_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<QByteArray>("ifRange");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("length");

    const QByteArray etag = ByteRange::versionOf(100, Modified).etag;
    const QByteArray date = ByteRange::versionOf(100, Modified).lastModified;
    auto row = [](const char *name, const char *range, const QByteArray &ifRange, qint64 size, Kind kind,
                  const char *contentRange, qint64 first, qint64 length) {
        QTest::newRow(name) << QByteArray(range) << ifRange << size << kind << QByteArray(contentRange) << first
                            << length;
    };
    row("no range", "", {}, 100, Kind::Whole, "", 0, 100);
    row("from 10 on", "bytes=10-", {}, 100, Kind::Span, "bytes 10-99/100", 10, 90);
    row("10 to 19", "bytes=10-19", {}, 100, Kind::Span, "bytes 10-19/100", 10, 10);
    row("last 5", "bytes=-5", {}, 100, Kind::Span, "bytes 95-99/100", 95, 5);
    row("last 500 of 100", "bytes=-500", {}, 100, Kind::Span, "bytes 0-99/100", 0, 100);
    row("end past the end", "bytes=10-999999", {}, 100, Kind::Span, "bytes 10-99/100", 10, 90);
    row("at the end", "bytes=100-", {}, 100, Kind::Unsatisfiable, "bytes */100", 0, 0);
    row("past the end", "bytes=999-1000", {}, 100, Kind::Unsatisfiable, "bytes */100", 0, 0);
    row("last 0", "bytes=-0", {}, 100, Kind::Unsatisfiable, "bytes */100", 0, 0);
    row("any of an empty file", "bytes=0-", {}, 0, Kind::Unsatisfiable, "bytes */0", 0, 0);
    row("backwards", "bytes=20-10", {}, 100, Kind::Whole, "", 0, 100);
    row("start past 64 bits", "bytes=99999999999999999999-", {}, 100, Kind::Whole, "", 0, 100);
    row("two ranges", "bytes=0-1,5-6", {}, 100, Kind::Whole, "", 0, 100);
    row("other unit", "pages=1-2", {}, 100, Kind::Whole, "", 0, 100);
    row("same tag", "bytes=10-", etag, 100, Kind::Span, "bytes 10-99/100", 10, 90);
    row("same date", "bytes=10-", " " + date + " ", 100, Kind::Span, "bytes 10-99/100", 10, 90);
    row("other tag", "bytes=10-", "\"64-0\"", 100, Kind::Whole, "", 0, 100);
    row("other date", "bytes=10-", "Thu, 01 Jan 2015 00:00:00 GMT", 100, Kind::Whole, "", 0, 100);
}

void TstByteRange::selects()
{
    QFETCH(QByteArray, range);
    QFETCH(QByteArray, ifRange);
    QFETCH(qint64, size);
    const ByteRange selected = ByteRange::select(range, ifRange, size, ByteRange::versionOf(100, Modified));
    QTEST(selected.kind, "kind");
    QTEST(selected.contentRange(), "contentRange");
    QTEST(selected.first, "first");
    QTEST(selected.length, "length");
    QCOMPARE(selected.size, size);
}

QTEST_GUILESS_MAIN(TstByteRange)
#include "tst_byterange.moc"
