#include "platform/AsyncReader.h"
#include "platform/NetworkHttpFetcher.h"
#include "progressbar/ProgressBar.h"
#include "windows/Form_wangyou.h"

#include "support/NetworkNamespace.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingShell.h"
#include "support/ReferenceSite.h"
#include "support/TestFiles.h"
#include "support/WangyouControls.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Quillmere;

namespace {

constexpr auto Outage = 90s;

}  // namespace

// The user window downloading from the site over a line of its own, which goes down for a
// minute and a half mid-download, much longer than a connection waits in silence.
class TstOutage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void downloadOutlastsTheOutage();

private:
    NetworkNamespace m_line;
    ReferenceSite m_site;
};

void TstOutage::initTestCase()
{
    QVERIFY2(m_line.create(), qPrintable(m_line.errorString()));
    m_site.setLauncher(m_line.launcher());
    m_site.setExtraArguments({u"--host"_s, m_line.insideAddress()});
    // 8 MiB in 16 s, so that the line can be cut well before the end.
    m_site.setFileRate(512);
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

void TstOutage::downloadOutlastsTheOutage()
{
    QTemporaryDir programFolder;
    NetworkHttpFetcher fetcher;
    RecordingShell shell;
    RecordingMessageBox messageBox;
    Form_wangyou form(m_site.root(), ProgramFolder(programFolder.path()), fetcher, shell, messageBox,
                      [] { return std::make_unique<AsyncReader>(); });
    form.show();
    const int row = searchUserCatalogue(form, u"航拍"_s, u"家乡 航拍 小片"_s);
    QVERIFY(row >= 0);
    auto *bar = control<ProgressBar>(form, u"ProgressBar1"_s);

    const qint64 receivedBefore = m_line.bytesReceived();
    doubleClickRow(form, row);
    QTRY_VERIFY_WITH_TIMEOUT(bar->model().Value() >= 25, 30000);
    QVERIFY2(m_line.setLineUp(false), qPrintable(m_line.errorString()));
    QElapsedTimer down;
    down.start();
    // Once the connection has been silent for its time-out, the bar says it waits to try again.
    QTRY_VERIFY_WITH_TIMEOUT(bar->toolTip().startsWith(u"网络中断，"_s), 60000);
    QVERIFY2(bar->toolTip().contains(u"秒后重试（第 "_s) || bar->toolTip().contains(u"正在重试"_s),
             qPrintable(bar->toolTip()));
    QCOMPARE(bar->accessibleDescription(), bar->toolTip());
    QVERIFY(!bar->isHidden());
    QTest::qWait(int(std::chrono::milliseconds(Outage).count() - down.elapsed()));
    QVERIFY2(m_line.setLineUp(true), qPrintable(m_line.errorString()));

    // Nobody had to do anything: the next try continues where the bytes stopped.
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 180000);
    QVERIFY2(messageBox.boxes.isEmpty(), qPrintable(messageBox.boxes.value(0).text));
    const QString address = u"2024/06/hometown-aerial.mp4"_s;
    const QByteArray served = readFile(m_site.dataPath() + u"/wangyou/up/"_s + address);
    QVERIFY(served.size() > 4 * 1024 * 1024);
    QVERIFY(readFile(programFolder.path() + u"/Xiazai/家乡 航拍 小片/"_s + address) == served);
    QCOMPARE(control<ListView>(form, u"ListView"_s)->model()->index(row, 1).data(Qt::ToolTipRole).toString(),
             u"已校验"_s);
    // All that came over the line for the download, headers included.
    const qint64 overLine = m_line.bytesReceived() - receivedBefore;
    qInfo("%lld bytes over the line for a file of %lld: %.4fx", overLine, qint64(served.size()),
          double(overLine) / double(served.size()));
    QVERIFY2(overLine <= served.size() * 105 / 100, qPrintable(QString::number(overLine)));
}

QTEST_MAIN(TstOutage)
#include "tst_outage.moc"
