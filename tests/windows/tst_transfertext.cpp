#include "windows/TransferText.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstTransferText : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();
    void progressLine_data();
    void progressLine();
    void noRoomMessage();
};

void TstTransferText::sizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("bytes") << qint64(999) << u"999 B"_s;
    QTest::newRow("1000 bytes") << qint64(1000) << u"1.0 KB"_s;
    QTest::newRow("one KB") << qint64(1024) << u"1.0 KB"_s;
    QTest::newRow("12.3 MB") << qint64(12.3 * 1024 * 1024) << u"12.3 MB"_s;
    QTest::newRow("999.9 KB") << qint64(999.9 * 1024) << u"999.9 KB"_s;
    QTest::newRow("1000 KB is shown in MB") << qint64(1000 * 1024) << u"1.0 MB"_s;
    QTest::newRow("rounds up into the next unit") << qint64(999.96 * 1024) << u"1.0 MB"_s;
    QTest::newRow("beyond 4 GiB") << (qint64(5) << 30) << u"5.0 GB"_s;
    QTest::newRow("1000 TB is shown in PB") << (qint64(1000) << 40) << u"1.0 PB"_s;
    QTest::newRow("largest count") << std::numeric_limits<qint64>::max() << u"8.0 EB"_s;
}

void TstTransferText::sizes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(TransferText::size(bytes), text);
}

void TstTransferText::progressLine_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<std::optional<double>>("speed");
    QTest::addColumn<std::optional<qint64>>("left");
    QTest::addColumn<QString>("text");

    constexpr qint64 MB = 1024 * 1024;
    QTest::newRow("everything known") << qint64(12.3 * MB) << 50 * MB << std::optional<double>(2.1 * MB)
                                      << std::optional<qint64>(18) << u"12.3 MB / 50.0 MB，2.1 MB/秒，剩余 18 秒"_s;
    QTest::newRow("minutes") << qint64(0) << MB << std::optional<double>(1024) << std::optional<qint64>(125)
                             << u"0 B / 1.0 MB，1.0 KB/秒，剩余 2 分 5 秒"_s;
    QTest::newRow("hours") << qint64(0) << MB << std::optional<double>(10) << std::optional<qint64>(4000)
                           << u"0 B / 1.0 MB，10 B/秒，剩余 1 小时 6 分"_s;
    QTest::newRow("speed not known yet") << MB << 2 * MB << std::optional<double>() << std::optional<qint64>()
                                         << u"1.0 MB / 2.0 MB"_s;
    QTest::newRow("size not announced") << MB << qint64(0) << std::optional<double>(MB) << std::optional<qint64>()
                                        << u"1.0 MB，1.0 MB/秒"_s;
}

void TstTransferText::progressLine()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(std::optional<double>, speed);
    QFETCH(std::optional<qint64>, left);
    QFETCH(QString, text);
    QCOMPARE(TransferText::progress(done, total, speed, left), text);
}

void TstTransferText::noRoomMessage()
{
    QCOMPARE(TransferText::noRoom(50 * 1024 * 1024, 1024), u"磁盘空间不足\n还需 50.0 MB，可用 1.0 KB"_s);
    QCOMPARE(TransferText::noRoom(0, 1024), u"磁盘空间不足\n可用 1.0 KB"_s);
}

QTEST_GUILESS_MAIN(TstTransferText)
#include "tst_transfertext.moc"
