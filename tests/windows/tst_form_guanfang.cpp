#include "windows/Form_guanfang.h"

#include "platform/ListView.h"
#include "platform/WebPane.h"
#include "support/CatalogueText.h"
#include "support/FakeHttpFetcher.h"
#include "support/FormControls.h"
#include "support/ListColumns.h"
#include "support/RecordingShell.h"
#include "support/ScriptedHttpServer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstFormGuanfang : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowFollowsTheDesign_data();
    void windowFollowsTheDesign();
    void loadShowsTheFirstPageAndTheStartPage();
    void clickedRowShowsItsLinksAndPage();
    void keyboardActsAsTheMouse();
    void onlyDownloadSchemesAreOpened_data();
    void onlyDownloadSchemesAreOpened();
    void pagingLeavesTheClickedRowsLinksAndPage();
    void keywordBoxClickErasesTheKeyword();
    void closingKeepsTheBrowsingStateForTheNextOpening();

private:
    void clickRow(int row);
    QString browse(int id) const { return m_pages.root() + u"view/"_s + QString::number(id); }
    QString official() const { return m_pages.root() + u"guanfang/admin_upload.php?"_s; }

    ScriptedHttpServer m_pages;
    QTemporaryDir m_programFolder;
    FakeHttpFetcher m_fetcher;
    RecordingShell m_shell;
    std::unique_ptr<Form_guanfang> m_form;
};

void TstFormGuanfang::initTestCase()
{
    for (const QString &path : {u"/zorvik/"_s, u"/view/1"_s, u"/view/2"_s})
        m_pages.setAnswer(
            path, ScriptedHttpServer::reply(200, "<html><title>" + path.toUtf8() + "</title></html>", "text/html"));
}

void TstFormGuanfang::init()
{
    m_fetcher = FakeHttpFetcher();
    m_shell = RecordingShell();
    m_fetcher.bodies.insert(
        official() + u"page=1"_s,
        catalogueRecord({u"软件"_s, u"压缩工具"_s, u"免安装"_s, u"2024-05-18"_s,
                         u"本地下载/*/http://h/a.zip/**/磁力链接/*/magnet:?xt=urn:btih:1/**/"_s, u"1"_s, browse(1)})
            + catalogueRecord({u"游戏"_s, u"像素冒险"_s, u""_s, u"2024-05-17"_s, u"no links here"_s, u"2"_s, browse(2)})
            + catalogueRecord({u"工具"_s, u"本地页面"_s, u""_s, u""_s, u""_s, u"3"_s, u"file:///etc/passwd"_s})
            + "?TtbBa?25?3");
    m_fetcher.bodies.insert(official() + u"page=2"_s, catalogueRecord({u"音乐"_s, u"第二页"_s}) + "?TtbBa?25?3");
    m_form = std::make_unique<Form_guanfang>(m_pages.root(), ProgramFolder(m_programFolder.path()), m_fetcher, m_shell);
    m_form->show();
    QVERIFY(m_form->isLoaded());
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 3);
}

void TstFormGuanfang::cleanup()
{
    m_form.reset();
}

void TstFormGuanfang::clickRow(int row)
{
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 1)).center());
}

void TstFormGuanfang::windowFollowsTheDesign_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("Combo1") << u"Combo1"_s << QRect(1, 1, 67, 20) << u"标题"_s;
    QTest::newRow("textsou") << u"textsou"_s << QRect(68, 0, 139, 20) << QString();
    QTest::newRow("SoSo") << u"SoSo"_s << QRect(208, 0, 57, 20) << u"搜索"_s;
    QTest::newRow("ShuaXin") << u"ShuaXin"_s << QRect(264, 0, 57, 20) << u"刷新"_s;
    QTest::newRow("JiLu_Text") << u"JiLu_Text"_s << QRect(328, 4, 361, 17) << u"已分享 25 个资源"_s;
    QTest::newRow("Label1") << u"Label1"_s << QRect(704, 8, 65, 17) << u"下载地址"_s;
    QTest::newRow("ListView") << u"ListView"_s << QRect(0, 24, 625, 206) << QString();
    QTest::newRow("List1") << u"List1"_s << QRect(632, 24, 205, 184) << QString();
    QTest::newRow("Qian") << u"Qian"_s << QRect(639, 208, 89, 20) << u"上一页"_s;
    QTest::newRow("Hou") << u"Hou"_s << QRect(740, 208, 89, 20) << u"下一页"_s;
    QTest::newRow("Web") << u"Web"_s << QRect(0, 232, 841, 339) << QString();
}

void TstFormGuanfang::windowFollowsTheDesign()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    QCOMPARE(m_form->window()->windowTitle(), u"官方资源"_s);
    QCOMPARE(m_form->window()->size(), QSize(841, 571));
    auto *widget = control<QWidget>(*m_form, name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), u"分类"_s);
        QCOMPARE(combo->currentText(), text);
    }
    if (auto *box = qobject_cast<QLineEdit *>(widget)) {
        QCOMPARE(box->text(), text);
        QCOMPARE(box->placeholderText(), u"请输入关键字"_s);
    }
    if (auto *list = qobject_cast<ListView *>(widget))
        QVERIFY(hasColumns(list, {80, 265, 140, 140, 0, 0, 0}));
}

void TstFormGuanfang::loadShowsTheFirstPageAndTheStartPage()
{
    QCOMPARE(m_fetcher.requests, QStringList(official() + u"page=1"_s));
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    QCOMPARE(list->cellText(1, 1), u"像素冒险"_s);
    QCOMPARE(list->cellText(0, 6), browse(1));
    QCOMPARE(control<QLabel>(*m_form, u"JiLu_Text"_s)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(control<QPushButton>(*m_form, u"SoSo"_s)->isEnabled());
    QVERIFY(!control<QPushButton>(*m_form, u"Qian"_s)->isEnabled());
    QVERIFY(control<QPushButton>(*m_form, u"Hou"_s)->isEnabled());
    auto *web = control<WebPane>(*m_form, u"Web"_s);
    QVERIFY(web->isSilent());
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(m_pages.root() + u"zorvik/"_s), 20000);
    QCOMPARE(m_form->browser().selectedRow(), -1);
}

void TstFormGuanfang::clickedRowShowsItsLinksAndPage()
{
    auto *links = control<QListWidget>(*m_form, u"List1"_s);
    auto *web = control<WebPane>(*m_form, u"Web"_s);

    clickRow(0);
    QCOMPARE(m_form->browser().selectedRow(), 0);
    QCOMPARE(links->count(), 2);
    QCOMPARE(links->item(0)->text(), u"本地下载"_s);
    QCOMPARE(links->item(1)->text(), u"磁力链接"_s);
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(browse(1)), 20000);

    QTest::mouseClick(links->viewport(), Qt::LeftButton, {}, links->visualItemRect(links->item(1)).center());
    QCOMPARE(m_shell.targets, QStringList(u"magnet:?xt=urn:btih:1"_s));

    clickRow(1);
    QCOMPARE(links->count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(browse(2)), 20000);
}

void TstFormGuanfang::keyboardActsAsTheMouse()
{
    auto *list = control<ListView>(*m_form, u"ListView"_s);
    auto *links = control<QListWidget>(*m_form, u"List1"_s);
    auto *web = control<WebPane>(*m_form, u"Web"_s);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(m_form->browser().selectedRow(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(browse(2)), 20000);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(links->count(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(browse(1)), 20000);

    links->setFocus();
    QTest::keyClick(links, Qt::Key_Home);
    QTest::keyClick(links, Qt::Key_Down);
    QVERIFY(m_shell.targets.isEmpty());
    QTest::keyClick(links, Qt::Key_Return);
    QCOMPARE(m_shell.targets, QStringList(u"magnet:?xt=urn:btih:1"_s));
}

void TstFormGuanfang::onlyDownloadSchemesAreOpened_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("opened");

    QTest::newRow("http") << u"http://h/a.zip"_s << true;
    QTest::newRow("https") << u"https://h/a.zip"_s << true;
    QTest::newRow("ftp") << u"ftp://h/a.zip"_s << true;
    QTest::newRow("ed2k") << u"ed2k://|file|a.zip|10|0123456789ABCDEF0123456789ABCDEF|/"_s << true;
    QTest::newRow("thunder") << u"thunder://QUFodHRwOi8vaC9hLnppcFpa"_s << true;
    QTest::newRow("file") << u"file:///etc/passwd"_s << false;
    QTest::newRow("local path") << u"/usr/bin/xterm"_s << false;
    QTest::newRow("windows path") << u"C:\\Windows\\system32\\calc.exe"_s << false;
    QTest::newRow("javascript") << u"javascript:alert(1)"_s << false;
    QTest::newRow("unknown scheme") << u"smb://h/share"_s << false;
    QTest::newRow("web address without host") << u"http:///a"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TstFormGuanfang::onlyDownloadSchemesAreOpened()
{
    QFETCH(QString, target);
    QFETCH(bool, opened);
    m_fetcher.bodies.insert(official() + u"page=1&q=&t=1"_s,
                            catalogueRecord({u"c"_s, u"t"_s, {}, {}, u"链接/*/"_s + target + u"/**/"_s, u"9"_s, {}})
                                + "?TtbBa?1?1");
    QTest::mouseClick(control<QPushButton>(*m_form, u"ShuaXin"_s), Qt::LeftButton);
    QTRY_COMPARE(control<ListView>(*m_form, u"ListView"_s)->model()->rowCount(), 1);

    clickRow(0);
    auto *links = control<QListWidget>(*m_form, u"List1"_s);
    QCOMPARE(links->count(), 1);
    QTest::mouseClick(links->viewport(), Qt::LeftButton, {}, links->visualItemRect(links->item(0)).center());
    QCOMPARE(m_shell.targets.size(), opened ? 1 : 0);
    if (opened)
        QCOMPARE(m_shell.targets.first(), target);
}

void TstFormGuanfang::pagingLeavesTheClickedRowsLinksAndPage()
{
    clickRow(0);
    auto *web = control<WebPane>(*m_form, u"Web"_s);
    QTRY_COMPARE_WITH_TIMEOUT(web->url(), QUrl(browse(1)), 20000);

    QTest::mouseClick(control<QPushButton>(*m_form, u"Hou"_s), Qt::LeftButton);
    QCOMPARE(m_fetcher.requests.last(), official() + u"page=2"_s);
    QCOMPARE(control<ListView>(*m_form, u"ListView"_s)->cellText(0, 1), u"第二页"_s);
    QCOMPARE(control<QListWidget>(*m_form, u"List1"_s)->count(), 2);
    QCOMPARE(web->url(), QUrl(browse(1)));
    QCOMPARE(control<QLabel>(*m_form, u"JiLu_Text"_s)->text(), u"当前共有 25 个资源"_s);
}

void TstFormGuanfang::keywordBoxClickErasesTheKeyword()
{
    auto *keyword = control<QLineEdit>(*m_form, u"textsou"_s);
    QTest::mouseClick(control<QPushButton>(*m_form, u"SoSo"_s), Qt::LeftButton);
    QCOMPARE(m_fetcher.requests.last(), official() + u"page=1&q=&t=1"_s);

    keyword->setText(u"压缩"_s);
    QTest::mouseClick(keyword, Qt::LeftButton);
    QCOMPARE(keyword->text(), QString());

    QTest::keyClicks(keyword, u"abc"_s);
    control<QComboBox>(*m_form, u"Combo1"_s)->setCurrentIndex(0);
    QTest::mouseClick(control<QPushButton>(*m_form, u"SoSo"_s), Qt::LeftButton);
    QCOMPARE(m_fetcher.requests.last(), official() + u"page=1&q=abc&t=0"_s);
}

void TstFormGuanfang::closingKeepsTheBrowsingStateForTheNextOpening()
{
    m_fetcher.bodies.insert(official() + u"page=1&q=abc&t=1"_s, catalogueRecord({u"软件"_s, u"abc"_s}) + "?TtbBa?20?2");
    control<QLineEdit>(*m_form, u"textsou"_s)->setText(u"abc"_s);
    QTest::mouseClick(control<QPushButton>(*m_form, u"SoSo"_s), Qt::LeftButton);
    clickRow(0);
    QSignalSpy unloaded(m_form.get(), &Form::unloaded);

    m_form->window()->close();
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!m_form->isLoaded());

    m_form->show();
    QCOMPARE(m_form->browser().selectedRow(), -1);
    QVERIFY(m_form->browser().keywordMode());
    QCOMPARE(control<QListWidget>(*m_form, u"List1"_s)->count(), 0);
    QCOMPARE(control<QLineEdit>(*m_form, u"textsou"_s)->text(), QString());
    QTest::mouseClick(control<QPushButton>(*m_form, u"Hou"_s), Qt::LeftButton);
    QCOMPARE(m_fetcher.requests.last(), official() + u"page=2&q=&t=1"_s);
    QCOMPARE(control<QLabel>(*m_form, u"JiLu_Text"_s)->text(), u"连接服务器失败"_s);
}

QTEST_MAIN(TstFormGuanfang)
#include "tst_form_guanfang.moc"
