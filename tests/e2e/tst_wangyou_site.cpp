#include "platform/AsyncReader.h"
#include "platform/ListView.h"
#include "platform/NetworkHttpFetcher.h"
#include "progressbar/ProgressBar.h"
#include "windows/Form_wangyou.h"

#include "support/FormControls.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingShell.h"
#include "support/ReferenceSite.h"
#include "support/TestFiles.h"
#include "support/WangyouControls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

// The user window against the reference site, downloading real files: what a user does.
class TstWangyouSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void browsesSearchesAndRefreshes();
    void downloadsAFileWhileTheBarMoves();
    void closingMidDownloadKeepsWhatArrived();

private:
    int searchFor(const QString &keyword, const QString &title) { return searchUserCatalogue(*m_form, keyword, title); }
    void doubleClickRow(int row) { ::doubleClickRow(*m_form, row); }

    ReferenceSite m_site;
    std::unique_ptr<QTemporaryDir> m_programFolder;
    NetworkHttpFetcher m_fetcher;
    RecordingShell m_shell;
    RecordingMessageBox m_messageBox;
    std::unique_ptr<Form_wangyou> m_form;
};

void TstWangyouSite::initTestCase()
{
    // 8 MiB in half a second: long enough for the bar to move many times, as over a real line.
    m_site.setFileRate(16 * 1024);
    m_site.setAccessLog(true);
    QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
}

void TstWangyouSite::init()
{
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_shell = RecordingShell();
    m_messageBox = RecordingMessageBox();
    m_form = std::make_unique<Form_wangyou>(m_site.root(), ProgramFolder(m_programFolder->path()), m_fetcher, m_shell,
                                            m_messageBox, [] { return std::make_unique<AsyncReader>(); });
    m_form->show();
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 10);
}

void TstWangyouSite::cleanup()
{
    m_form.reset();
}

void TstWangyouSite::browsesSearchesAndRefreshes()
{
    const QString status = control<QLabel>(*m_form, u"JiLu_Text"_s)->text();
    QVERIFY2(status.startsWith(u"已收录 "_s), qPrintable(status));
    QTest::mouseClick(control<QPushButton>(*m_form, u"Hou"_s), Qt::LeftButton);
    QCOMPARE(m_form->browser().currentPage(), 2);
    QVERIFY(control<QLabel>(*m_form, u"JiLu_Text"_s)->text().startsWith(u"当前共有 "_s));

    QVERIFY(searchFor(u"航拍"_s, u"家乡 航拍 小片"_s) >= 0);
    QVERIFY(control<QLabel>(*m_form, u"JiLu_Text"_s)->text().startsWith(u"搜索到 "_s));

    QTest::mouseClick(control<QPushButton>(*m_form, u"shuaxin"_s), Qt::LeftButton);
    QCOMPARE(control<QLabel>(*m_form, u"JiLu_Text"_s)->text(), status);
    QCOMPARE(control<QLineEdit>(*m_form, u"Text1"_s)->text(), QString());
}

void TstWangyouSite::downloadsAFileWhileTheBarMoves()
{
    const int row = searchFor(u"航拍"_s, u"家乡 航拍 小片"_s);
    QVERIFY(row >= 0);
    auto *bar = control<ProgressBar>(*m_form, u"ProgressBar1"_s);
    QList<int> shown;
    QStringList tooltips;
    connect(bar, &ProgressBar::PropertyChanged, this, [&shown, &tooltips, bar] {
        shown.append(bar->model().Value());
        tooltips.append(bar->toolTip());
    });

    doubleClickRow(row);
    QVERIFY(!bar->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 60000);

    const QString folder = m_programFolder->path() + u"/Xiazai/家乡 航拍 小片/"_s;
    const QString address = u"2024/06/hometown-aerial.mp4"_s;
    const QByteArray served = readFile(m_site.dataPath() + u"/wangyou/up/"_s + address);
    QVERIFY(served.size() > 4 * 1024 * 1024);
    QCOMPARE(readFile(folder + address), served);
    QCOMPARE(filesBelow(m_programFolder->path()), QStringList(u"Xiazai/家乡 航拍 小片/"_s + address));
    QCOMPARE(m_shell.shownFiles, QStringList(folder + address));
    QVERIFY(m_messageBox.boxes.isEmpty());
    // The site named the file's digest, and its row says the bytes matched it.
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    QCOMPARE(list->model()->index(row, 1).data(Qt::ToolTipRole).toString(), u"已校验"_s);
    QVERIFY(!tooltips.filter(u" MB / "_s).isEmpty());
    // The bar moved on its way, up and never back, through several values between 0 and 100.
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    QVERIFY2(QSet<int>(shown.begin(), shown.end()).size() > 5, qPrintable(QString::number(shown.size())));

    // Idle again: another download starts.
    const int other = searchFor(u"新人"_s, u"先看我 新人 必读"_s);
    QVERIFY(other >= 0);
    doubleClickRow(other);
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 60000);
    QCOMPARE(m_shell.shownFiles.size(), 2);
    QCOMPARE(filesBelow(m_programFolder->path()).size(), 2);
}

void TstWangyouSite::closingMidDownloadKeepsWhatArrived()
{
    const int row = searchFor(u"航拍"_s, u"家乡 航拍 小片"_s);
    auto *bar = control<ProgressBar>(*m_form, u"ProgressBar1"_s);
    m_site.readOutput();
    doubleClickRow(row);
    QTRY_VERIFY_WITH_TIMEOUT(bar->model().Value() >= 20, 30000);
    const int reached = bar->model().Value();
    QSignalSpy unloaded(m_form.get(), &Form::unloaded);
    m_form->window()->close();
    QCOMPARE(unloaded.count(), 1);

    // The site logs the transfer once the client has cut it; by then what the close set off has run.
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += m_site.readOutput()).contains("GET /wangyou/up/2024/06/hometown-aerial.mp4"), 30000);
    const QString saved = u"Xiazai/家乡 航拍 小片/2024/06/hometown-aerial.mp4"_s;
    QCOMPARE(filesBelow(m_programFolder->path()), QStringList({saved + u".part"_s, saved + u".part.meta"_s}));
    QVERIFY(m_shell.shownFiles.isEmpty());
    QVERIFY(m_messageBox.boxes.isEmpty());

    // Opened again, the same entry continues where it stopped and ends as the site's file.
    m_form->show();
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 10);
    bar = control<ProgressBar>(*m_form, u"ProgressBar1"_s);
    QList<int> shown;
    connect(bar, &ProgressBar::PropertyChanged, this, [&shown, bar] { shown.append(bar->model().Value()); });
    doubleClickRow(searchFor(u"航拍"_s, u"家乡 航拍 小片"_s));
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 60000);

    QCOMPARE(readFile(m_programFolder->path() + u'/' + saved),
             readFile(m_site.dataPath() + u"/wangyou/up/2024/06/hometown-aerial.mp4"_s));
    QCOMPARE(filesBelow(m_programFolder->path()), QStringList(saved));
    // The bar took up where it had been, not from the start.
    const auto moved = std::find_if(shown.begin(), shown.end(), [](int value) { return value > 0; });
    QVERIFY(moved != shown.end());
    QVERIFY2(*moved >= reached, qPrintable(u"%1 < %2"_s.arg(*moved).arg(reached)));
}

QTEST_MAIN(TstWangyouSite)
#include "tst_wangyou_site.moc"
