#include "download/TransferRate.h"

#include <QTest>

using namespace Quillmere;

class TstTransferRate : public QObject
{
    Q_OBJECT

private slots:
    void unknownUntilTimePasses();
    void averagesOverTheLastFewSeconds();
    void timeLeftNeedsSpeedAndTotal();
};

void TstTransferRate::unknownUntilTimePasses()
{
    TransferRate rate;
    QCOMPARE(rate.bytesPerSecond(), std::nullopt);
    rate.sample(1000, 500);
    rate.sample(1000, 800);
    QCOMPARE(rate.bytesPerSecond(), std::nullopt);
    QCOMPARE(rate.secondsLeft(10000), std::nullopt);
}

void TstTransferRate::averagesOverTheLastFewSeconds()
{
    TransferRate rate;
    // A resumed transfer starts at the bytes already kept: only the new ones count.
    rate.sample(0, 5'000'000);
    for (qint64 second = 1; second <= 10; ++second)
        rate.sample(second * 1000,
                    5'000'000 + std::min<qint64>(second, 5) * 100'000 + std::max<qint64>(second - 5, 0) * 1'000'000);
    // The first five slow seconds have left the window: the average is the fast rate since.
    const std::optional<double> speed = rate.bytesPerSecond();
    QVERIFY(speed);
    QCOMPARE(qRound64(*speed), 1'000'000);
}

void TstTransferRate::timeLeftNeedsSpeedAndTotal()
{
    TransferRate rate;
    rate.sample(0, 0);
    rate.sample(2000, 1000);
    QCOMPARE(rate.secondsLeft(10'000), 18);
    QCOMPARE(rate.secondsLeft(10'001), 19);  // a started second counts
    QCOMPARE(rate.secondsLeft(0), std::nullopt);

    TransferRate stalled;
    stalled.sample(0, 100);
    stalled.sample(3000, 100);
    QCOMPARE(stalled.bytesPerSecond(), 0.0);
    QCOMPARE(stalled.secondsLeft(1000), std::nullopt);
}

QTEST_GUILESS_MAIN(TstTransferRate)
#include "tst_transferrate.moc"
