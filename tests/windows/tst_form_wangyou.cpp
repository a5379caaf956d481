#include "windows/Form_wangyou.h"

#include "download/Downloader.h"
#include "download/PartialFile.h"
#include "platform/ListView.h"
#include "progressbar/ProgressBar.h"
#include "support/CatalogueText.h"
#include "support/FakeAsyncReadFacility.h"
#include "support/FakeHttpFetcher.h"
#include "support/FormControls.h"
#include "support/ListColumns.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingShell.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

const QString Root = u"http://site/"_s;
const QString Catalogue = Root + u"wangyou/users_upload.php?"_s;

}  // namespace

class TstFormWangyou : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowFollowsTheDesign_data();
    void windowFollowsTheDesign();
    void progressBarHasItsDesignData();
    void doubleClickDownloadsIntoTheTitlesFolder();
    void keyboardSelectsAndEnterDownloads();
    void progressMovesTheBarRoundingHalfToEven_data();
    void progressMovesTheBarRoundingHalfToEven();
    void completionHidesTheBarAndShowsTheFileOnce();
    void tooltipTellsSizesWhileTheBarShowsThePercentage();
    void tooltipCountsDownToTheNextAttempt();
    void noRoomTellsTheSizesAndLeavesNoFolder();
    void secondDownloadWhileOneRunsIsRefused();
    void failureReturnsToIdleWithAMessage();
    void refusedReadHidesTheBar();
    void fileDownloadedByAnotherCopyIsRefused();
    void emptyAddressDoesNothing();
    void namesFromTheServerStayInsideTheDownloadFolder_data();
    void namesFromTheServerStayInsideTheDownloadFolder();
    void closingCancelsTheRunningDownload();
    void folderButtonOpensTheDownloadFolder();

private:
    void doubleClickRow(int row);
    ProgressBar *bar() const { return control<ProgressBar>(*m_form, u"ProgressBar1"_s); }
    Downloader *downloader() const { return m_form->window()->findChild<Downloader *>(); }
    QString xiazai() const { return m_programFolder->path() + u"/Xiazai/"_s; }

    std::unique_ptr<QTemporaryDir> m_programFolder;
    FakeHttpFetcher m_fetcher;
    RecordingShell m_shell;
    RecordingMessageBox m_messageBox;
    FakeAsyncReadFacility *m_facility = nullptr;
    std::shared_ptr<QStringList> m_cancelled;
    std::unique_ptr<Form_wangyou> m_form;
};

void TstFormWangyou::init()
{
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_fetcher = FakeHttpFetcher();
    m_shell = RecordingShell();
    m_messageBox = RecordingMessageBox();
    m_fetcher.bodies.insert(Catalogue + u"page=1"_s,
                            catalogueRecord({u"软件"_s, u"A B"_s, u"备注"_s, u"2024-05-18"_s, u"x.rar"_s, u"1"_s})
                                + catalogueRecord({u"音乐"_s, u"  歌单  "_s, {}, {}, u"  2024/05/list.txt "_s, u"2"_s})
                                + catalogueRecord({u"空"_s, u"没有地址"_s, {}, {}, u"   "_s, u"3"_s}) + "?TtbBa?25?3");
    m_form = std::make_unique<Form_wangyou>(Root, ProgramFolder(m_programFolder->path()), m_fetcher, m_shell,
                                            m_messageBox, [this] {
                                                auto facility = std::make_unique<FakeAsyncReadFacility>();
                                                m_facility = facility.get();
                                                m_cancelled = facility->cancelled;
                                                return facility;
                                            });
    m_form->show();
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 3);
}

void TstFormWangyou::cleanup()
{
    m_form.reset();
}

void TstFormWangyou::doubleClickRow(int row)
{
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    const QPoint centre = list->visualRect(list->model()->index(row, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}

void TstFormWangyou::windowFollowsTheDesign_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("Frame2") << u"Frame2"_s << QRect(3, 2, 546, 49) << u"搜索"_s;
    QTest::newRow("Text1") << u"Text1"_s << QRect(8, 16, 193, 25) << QString();
    QTest::newRow("Sousuo") << u"Sousuo"_s << QRect(208, 16, 41, 25) << u"搜索"_s;
    QTest::newRow("shuaxin") << u"shuaxin"_s << QRect(248, 16, 41, 25) << u"刷新"_s;
    QTest::newRow("JiLu_Text") << u"JiLu_Text"_s << QRect(296, 22, 177, 25) << u"已收录 25 个资源"_s;
    QTest::newRow("Command_ziyuanguanli") << u"Command_ziyuanguanli"_s << QRect(472, 16, 65, 23) << u"资源管理"_s;
    QTest::newRow("Frame1") << u"Frame1"_s << QRect(3, 48, 545, 441) << QString();
    QTest::newRow("ListView") << u"ListView"_s << QRect(8, 16, 529, 417) << QString();
    QTest::newRow("Qian") << u"Qian"_s << QRect(64, 496, 97, 33) << u"上一页"_s;
    QTest::newRow("Hou") << u"Hou"_s << QRect(208, 496, 97, 33) << u"下一页"_s;
    QTest::newRow("ProgressBar1") << u"ProgressBar1"_s << QRect(336, 496, 209, 33) << QString();
}

void TstFormWangyou::windowFollowsTheDesign()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    QCOMPARE(m_form->window()->windowTitle(), u"网友资源"_s);
    QCOMPARE(m_form->window()->size(), QSize(551, 537));
    auto *widget = control<QWidget>(*m_form, name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    }
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(box->title(), text);
    if (auto *list = qobject_cast<ListView *>(widget))
        QVERIFY(hasColumns(list, {80, 200, 105, 140, 0, 0}));
    // The keys go round in the designed order.
    QWidget *key = control<QWidget>(*m_form, u"Qian"_s);
    QStringList order;
    for (int i = 0; i < 7; ++i, key = key->nextInFocusChain()) {
        while (key->focusPolicy() == Qt::NoFocus || !key->isVisibleTo(m_form->window()) || key->objectName().isEmpty())
            key = key->nextInFocusChain();
        order.append(key->objectName());
    }
    QCOMPARE(order,
             QStringList({u"Qian"_s, u"Hou"_s, u"ListView"_s, u"Text1"_s, u"Sousuo"_s, u"Command_ziyuanguanli"_s,
                          u"shuaxin"_s}));
}

void TstFormWangyou::progressBarHasItsDesignData()
{
    const ProgressBarModel &model = bar()->model();
    QVERIFY(bar()->isHidden());
    QCOMPARE(model.Value(), 0);
    QCOMPARE(model.Max(), 100);
    QCOMPARE(model.TextStyle(), ProgressBarModel::BarTextStyle::PercentText);
    QCOMPARE(model.TextEffect(), ProgressBarModel::BarTextEffect::Shadow);
    QCOMPARE(model.TextEffectColor(), ProgressBarModel::Colour(0xFFFFFF));
    QCOMPARE(model.TextFont().family(), u"宋体"_s);
    QCOMPARE(model.TextFont().pointSize(), 9);
    QCOMPARE(model.Text(), u"ProgressBar1"_s);
}

void TstFormWangyou::doubleClickDownloadsIntoTheTitlesFolder()
{
    doubleClickRow(1);
    QCOMPARE(m_form->browser().selectedRow(), 1);
    QCOMPARE(m_facility->reads.size(), 1);
    QCOMPARE(m_facility->reads[0].target, Root + u"wangyou/up/2024/05/list.txt"_s);
    QCOMPARE(m_facility->reads[0].propertyName, xiazai() + u"歌单/2024/05/list.txt"_s);
    QCOMPARE(m_form->targetFolder(), xiazai() + u"歌单/"_s);
    QVERIFY(QFileInfo(xiazai() + u"歌单/2024/05"_s).isDir());
    QVERIFY(!bar()->isHidden());
    QCOMPARE(bar()->model().Value(), 0);
}

void TstFormWangyou::keyboardSelectsAndEnterDownloads()
{
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(m_form->browser().selectedRow(), 1);
    QVERIFY(m_facility->reads.isEmpty());

    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(m_facility->reads.size(), 1);
    QCOMPARE(m_facility->reads[0].propertyName, xiazai() + u"歌单/2024/05/list.txt"_s);
}

void TstFormWangyou::progressMovesTheBarRoundingHalfToEven_data()
{
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("value");

    QTest::newRow("984 of 1000") << qint64(984) << qint64(1000) << 98;
    QTest::newRow("4 of 1000") << qint64(4) << qint64(1000) << 0;
    QTest::newRow("98.5 goes to 98") << qint64(985) << qint64(1000) << 98;
    QTest::newRow("99.5 goes to 100") << qint64(995) << qint64(1000) << 100;
    QTest::newRow("more than the total is clamped") << qint64(2000) << qint64(1000) << 100;
    QTest::newRow("all of it") << qint64(1) << qint64(1) << 100;
    QTest::newRow("a percentage beyond 32 bits") << (qint64(1) << 40) << qint64(1) << 100;
    QTest::newRow("sizes above 2 GiB") << qint64(3'000'000'000) << qint64(6'000'000'000) << 50;
}

void TstFormWangyou::progressMovesTheBarRoundingHalfToEven()
{
    QFETCH(qint64, current);
    QFETCH(qint64, total);
    QFETCH(int, value);

    doubleClickRow(0);
    const QString saveFile = m_facility->reads[0].propertyName;
    Q_EMIT downloader()->DownloadProgress(current, total, saveFile);
    QCOMPARE(bar()->model().Value(), value);
    // Progress only moves the bar: the download runs until it completes.
    QVERIFY(!bar()->isHidden());
    QVERIFY(m_shell.folders.isEmpty());
}

void TstFormWangyou::completionHidesTheBarAndShowsTheFileOnce()
{
    QApplication::setActiveWindow(m_form->window());
    doubleClickRow(0);
    const QString saveFile = m_facility->reads[0].propertyName;
    QCOMPARE(saveFile, xiazai() + u"A B/x.rar"_s);
    m_facility->answer(saveFile, 200, 4);
    m_facility->data(saveFile, "rar!");
    m_facility->complete(saveFile, AsyncProperty::EndDownloadData);

    QCOMPARE(readFile(saveFile), QByteArray("rar!"));
    QVERIFY(bar()->isHidden());
    QCOMPARE(m_shell.shownFiles, QStringList(saveFile));
    QVERIFY(m_shell.folders.isEmpty());
    QVERIFY(m_shell.notifications.isEmpty());
    QVERIFY(m_messageBox.boxes.isEmpty());

    // Idle again: the next double click downloads; finished while the user is elsewhere, it
    // says so on the desktop.
    QWidget elsewhere;
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    doubleClickRow(1);
    QCOMPARE(m_facility->reads.size(), 2);
    QVERIFY(!bar()->isHidden());
    m_facility->deliver(m_facility->reads[1].propertyName, "songs");
    QCOMPARE(m_shell.shownFiles.last(), xiazai() + u"歌单/2024/05/list.txt"_s);
    QCOMPARE(m_shell.notifications, QStringList(u"下载完成|歌单"_s));
}

void TstFormWangyou::tooltipTellsSizesWhileTheBarShowsThePercentage()
{
    doubleClickRow(0);
    const QString saveFile = m_facility->reads[0].propertyName;
    m_facility->answer(saveFile, 200, 2048);
    m_facility->data(saveFile, QByteArray(1024, 'x'));

    QCOMPARE(bar()->model().Value(), 50);
    QCOMPARE(bar()->toolTip(), u"1.0 KB / 2.0 KB"_s);
    QCOMPARE(bar()->accessibleDescription(), bar()->toolTip());
}

void TstFormWangyou::tooltipCountsDownToTheNextAttempt()
{
    doubleClickRow(0);
    const QString saveFile = m_facility->reads[0].propertyName;
    m_facility->answer(saveFile, 200, 2048, {{"etag", "\"v1\""}});
    m_facility->data(saveFile, QByteArray(1024, 'x'));
    m_facility->fail(saveFile, 0, true);

    QCOMPARE(bar()->toolTip(), u"网络中断，1 秒后重试（第 1 次）"_s);
    QCOMPARE(bar()->accessibleDescription(), bar()->toolTip());
    QTRY_COMPARE(bar()->toolTip(), u"网络中断，正在重试（第 1 次）"_s);
    QTRY_COMPARE(m_facility->reads.size(), 2);
    QVERIFY(!bar()->isHidden());

    // The bytes flow again, and the tooltip tells them at once.
    m_facility->answer(saveFile, 206, 1024, {{"content-range", "bytes 1024-2047/2048"}});
    m_facility->data(saveFile, QByteArray(512, 'x'));
    QVERIFY2(bar()->toolTip().startsWith(u"1.5 KB / 2.0 KB"_s), qPrintable(bar()->toolTip()));
}

void TstFormWangyou::noRoomTellsTheSizesAndLeavesNoFolder()
{
    doubleClickRow(1);
    const QString saveFile = m_facility->reads[0].propertyName;
    m_facility->answer(saveFile, 200, qint64(1) << 60);

    QVERIFY(bar()->isHidden());
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].title, u"提示"_s);
    QVERIFY2(m_messageBox.boxes[0].text.startsWith(u"磁盘空间不足\n还需 1.0 EB，可用 "_s),
             qPrintable(m_messageBox.boxes[0].text));
    QVERIFY(!QFileInfo::exists(xiazai()));
}

void TstFormWangyou::secondDownloadWhileOneRunsIsRefused()
{
    doubleClickRow(0);
    doubleClickRow(1);

    QCOMPARE(m_facility->reads.size(), 1);
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].title, u"提示"_s);
    QCOMPARE(m_messageBox.boxes[0].text, u"无法多任务下载!"_s);
    QCOMPARE(m_messageBox.boxes[0].icon, MessageBox::Icon::None);
    QCOMPARE(m_form->targetFolder(), xiazai() + u"A B/"_s);
    QVERIFY(!QFileInfo::exists(xiazai() + u"歌单"_s));
}

void TstFormWangyou::failureReturnsToIdleWithAMessage()
{
    doubleClickRow(0);
    m_facility->fail(m_facility->reads[0].propertyName, 404, false);

    QVERIFY(bar()->isHidden());
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].title, u"提示"_s);
    QCOMPARE(m_messageBox.boxes[0].text, u"下载失败!\n服务器回答 404：文件不存在"_s);
    QVERIFY(m_shell.folders.isEmpty());
    // The folders made for it held nothing, so they went again.
    QVERIFY(!QFileInfo::exists(xiazai()));

    doubleClickRow(0);
    QCOMPARE(m_facility->reads.size(), 2);
}

void TstFormWangyou::refusedReadHidesTheBar()
{
    m_facility->refusal = AsyncReadError{5, u"地址无效"_s};
    doubleClickRow(0);

    QVERIFY(bar()->isHidden());
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].title, u"错误"_s);
    QCOMPARE(m_messageBox.boxes[0].icon, MessageBox::Icon::Critical);
    QVERIFY(!QFileInfo::exists(xiazai()));
}

void TstFormWangyou::fileDownloadedByAnotherCopyIsRefused()
{
    QVERIFY(QDir().mkpath(xiazai() + u"A B"_s));
    PartialFile other(xiazai() + u"A B/x.rar"_s);
    QVERIFY(other.lock());
    doubleClickRow(0);

    QVERIFY(m_facility->reads.isEmpty());
    QVERIFY(bar()->isHidden());
    QCOMPARE(m_messageBox.boxes.size(), 1);
    QCOMPARE(m_messageBox.boxes[0].text, u"无法多任务下载!"_s);
    // Folders that were there before stay.
    QVERIFY(QFileInfo(xiazai() + u"A B"_s).isDir());
}

void TstFormWangyou::emptyAddressDoesNothing()
{
    doubleClickRow(2);
    QVERIFY(m_facility->reads.isEmpty());
    QVERIFY(bar()->isHidden());
    QVERIFY(m_messageBox.boxes.isEmpty());
    QVERIFY(!QFileInfo::exists(xiazai()));
}

void TstFormWangyou::namesFromTheServerStayInsideTheDownloadFolder_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("saveFile");

    QTest::newRow("title climbing out, not hidden") << u"../../evil"_s << u"x.rar"_s << u"_.._evil/x.rar"_s;
    QTest::newRow("title dot dot") << u".."_s << u"x.rar"_s << u"_/x.rar"_s;
    QTest::newRow("address climbing out") << u"t"_s << u"../../../evil.sh"_s << QString();
    QTest::newRow("absolute address") << u"t"_s << u"/tmp/evil.sh"_s << QString();
    QTest::newRow("empty segment") << u"t"_s << u"a//b"_s << QString();
}

void TstFormWangyou::namesFromTheServerStayInsideTheDownloadFolder()
{
    QFETCH(QString, title);
    QFETCH(QString, address);
    QFETCH(QString, saveFile);
    m_fetcher.bodies.insert(Catalogue + u"page=1&q="_s,
                            catalogueRecord({u"c"_s, title, {}, {}, address, u"9"_s}) + "?TtbBa?1?1");
    QTest::mouseClick(control<QPushButton>(*m_form, u"shuaxin"_s), Qt::LeftButton);
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 1);

    doubleClickRow(0);
    if (saveFile.isEmpty()) {
        QVERIFY(m_facility->reads.isEmpty());
        QCOMPARE(m_messageBox.boxes.size(), 1);
        QCOMPARE(m_messageBox.boxes[0].text, u"下载地址无效!"_s);
        QVERIFY(bar()->isHidden());
        QVERIFY(!QFileInfo::exists(xiazai()));
    } else {
        QCOMPARE(m_facility->reads.size(), 1);
        QCOMPARE(m_facility->reads[0].propertyName, xiazai() + saveFile);
    }
}

void TstFormWangyou::closingCancelsTheRunningDownload()
{
    doubleClickRow(0);
    const QString saveFile = m_facility->reads[0].propertyName;
    QSignalSpy unloaded(m_form.get(), &Form::unloaded);

    m_facility->answer(saveFile, 200, 10, {{"etag", "\"v1\""}});
    m_facility->data(saveFile, "01234");

    m_form->window()->close();
    QCOMPARE(unloaded.count(), 1);
    QCOMPARE(*m_cancelled, QStringList(saveFile));
    QCOMPARE(readFile(saveFile + u".part"_s), QByteArray("01234"));

    // Opened again: the bar is hidden, and the download continues where it stopped.
    m_form->show();
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 3);
    QVERIFY(bar()->isHidden());
    doubleClickRow(0);
    QCOMPARE(m_facility->reads.size(), 1);
    QCOMPARE(m_facility->reads[0].headers, AsyncReadHeaders({{"Range", "bytes=5-"}, {"If-Range", "\"v1\""}}));
    m_facility->answer(saveFile, 206, 5, {{"content-range", "bytes 5-9/10"}});
    QCOMPARE(bar()->model().Value(), 50);
}

void TstFormWangyou::folderButtonOpensTheDownloadFolder()
{
    QTest::mouseClick(control<QPushButton>(*m_form, u"Command_ziyuanguanli"_s), Qt::LeftButton);
    QCOMPARE(m_shell.folders, QStringList(xiazai()));
    QVERIFY(QFileInfo(xiazai()).isDir());
}

QTEST_MAIN(TstFormWangyou)
#include "tst_form_wangyou.moc"
