#include "platform/WebPane.h"
#include "windows/Form_fenxiang.h"
#include "windows/Form_liuyan.h"

#include "support/ScriptedHttpServer.h"
#include "support/WebPaneScripts.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

enum class Window { Fenxiang, Liuyan };

}  // namespace

class TstWebPaneForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void windowFollowsTheDesign_data();
    void windowFollowsTheDesign();
    void opensOnItsStartAddress_data();
    void opensOnItsStartAddress();
    void noContextMenuOverAnyLoadedPage_data();
    void noContextMenuOverAnyLoadedPage();
    void uploadWindowIsSilentFromTheFirstLoad();
    void messageBoardKeepsTheBrowsersDialogs();
    void f5ReturnsTheUploadWindowToItsStartPage();
    void f5ReachesOnlyTheActiveUploadWindow();
    void f5DoesNothingInTheMessageBoard();
    void closingUnloadsAndReopeningStartsOver_data();
    void closingUnloadsAndReopeningStartsOver();

private:
    WebPaneForm *open(Window which);
    void openAndMoveOn(Window which);
    WebPane *web() const { return m_form->window()->findChild<WebPane *>(u"web"_s); }
    void waitForLoads(QSignalSpy &completed, int count);
    void follow(const QString &link);
    void rightClick();
    void pressF5();
    QString url(const QString &path) const { return m_server.root() + path; }

    ScriptedHttpServer m_server;
    std::unique_ptr<WebPaneForm> m_form;
};

void TstWebPaneForm::initTestCase()
{
    m_server.setAnswer(u"/wangyou/"_s, ScriptedHttpServer::reply(200, reportingPage("upload", "/other"), "text/html"));
    m_server.setAnswer(u"/nds_wd-nds_wd.html"_s,
                       ScriptedHttpServer::reply(200, reportingPage("board", "/other"), "text/html"));
    m_server.setAnswer(u"/other"_s, ScriptedHttpServer::reply(200, reportingPage("other", "/third"), "text/html"));
    m_server.setAnswer(u"/third"_s, ScriptedHttpServer::reply(200, reportingPage("third", "/other"), "text/html"));
    m_server.setAnswer(u"/dialogs"_s, ScriptedHttpServer::reply(200, DialogPage, "text/html"));
}

void TstWebPaneForm::cleanup()
{
    m_form.reset();
    m_server.requestedTargets.clear();
}

WebPaneForm *TstWebPaneForm::open(Window which)
{
    if (which == Window::Fenxiang)
        m_form = std::make_unique<Form_fenxiang>(m_server.root());
    else
        m_form = std::make_unique<Form_liuyan>(m_server.root());
    m_form->show();
    return m_form.get();
}

// Opens the window and follows its start page's link, as a user moving on to another page.
void TstWebPaneForm::openAndMoveOn(Window which)
{
    open(which);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    waitForLoads(completed, 1);
    follow(u"other"_s);
    waitForLoads(completed, 2);
}

void TstWebPaneForm::waitForLoads(QSignalSpy &completed, int count)
{
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), count, 20000);
}

void TstWebPaneForm::follow(const QString &link)
{
    engineView(web())->page()->runJavaScript(u"document.getElementById('next').click();"_s);
    QTRY_COMPARE_WITH_TIMEOUT(web()->url(), QUrl(url(link)), 20000);
}

// Right after a completed load, once the window's hook on the new document has run.
void TstWebPaneForm::rightClick()
{
    QVERIFY(waitForApplicationScripts(web()));
    QTest::mouseClick(inputSurface(web()), Qt::RightButton, {}, QPoint(50, 50));
}

// As the user does it: the page has the keyboard focus and the window is active.
void TstWebPaneForm::pressF5()
{
    QVERIFY(QTest::qWaitForWindowActive(m_form->window()));
    QWidget *page = inputSurface(web());
    page->setFocus();
    QCOMPARE(QApplication::focusWidget(), page);
    QTest::keyClick(page, Qt::Key_F5);
}

void TstWebPaneForm::windowFollowsTheDesign_data()
{
    QTest::addColumn<Window>("which");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("clientArea");
    QTest::addColumn<QRect>("browser");
    QTest::newRow("upload") << Window::Fenxiang << u"资源上传"_s << QSize(336, 415) << QRect(0, 0, 337, 417);
    QTest::newRow("message board") << Window::Liuyan << u"留言"_s << QSize(467, 489) << QRect(0, 0, 465, 489);
}

void TstWebPaneForm::windowFollowsTheDesign()
{
    QFETCH(Window, which);
    QFETCH(QString, caption);
    QFETCH(QSize, clientArea);
    QFETCH(QRect, browser);
    open(which);
    QCOMPARE(m_form->window()->windowTitle(), caption);
    QCOMPARE(m_form->window()->size(), clientArea);
    QCOMPARE(m_form->window()->minimumSize(), m_form->window()->maximumSize());
    QVERIFY(web());
    QCOMPARE(web()->geometry(), browser);
}

void TstWebPaneForm::opensOnItsStartAddress_data()
{
    QTest::addColumn<Window>("which");
    QTest::addColumn<QString>("path");
    QTest::newRow("upload") << Window::Fenxiang << u"wangyou/"_s;
    QTest::newRow("message board") << Window::Liuyan << u"nds_wd-nds_wd.html"_s;
}

void TstWebPaneForm::opensOnItsStartAddress()
{
    QFETCH(Window, which);
    QFETCH(QString, path);
    open(which);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    waitForLoads(completed, 1);
    QCOMPARE(web()->url(), QUrl(url(path)));
    QCOMPARE(m_form->startAddress(), QUrl(url(path)));
}

void TstWebPaneForm::noContextMenuOverAnyLoadedPage_data()
{
    opensOnItsStartAddress_data();
}

void TstWebPaneForm::noContextMenuOverAnyLoadedPage()
{
    QFETCH(Window, which);
    open(which);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    waitForLoads(completed, 1);
    rightClick();
    QTRY_COMPARE_WITH_TIMEOUT(web()->title(), u"cancelled:true"_s, 10000);

    // Each page the user moves on to is a new document, hooked again when it has loaded.
    for (const QString &link : {u"other"_s, u"third"_s}) {
        const int loads = completed.count();
        follow(link);
        waitForLoads(completed, loads + 1);
        QTRY_COMPARE_WITH_TIMEOUT(web()->title(), link, 10000);
        rightClick();
        QTRY_COMPARE_WITH_TIMEOUT(web()->title(), u"cancelled:true"_s, 10000);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
    }
}

void TstWebPaneForm::uploadWindowIsSilentFromTheFirstLoad()
{
    auto *form = open(Window::Fenxiang);
    QVERIFY(!web()->isSilent());
    // Connected after the window's own handler, so this sees the pane as the page's scripts will.
    QList<bool> silentAtBegin;
    connect(web(), &WebPane::DownloadBegin, form, [&] { silentAtBegin.append(web()->isSilent()); });
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    waitForLoads(completed, 1);
    QCOMPARE(silentAtBegin, QList<bool>{true});

    web()->Navigate(QUrl(url(u"dialogs"_s)));
    QTRY_COMPARE_WITH_TIMEOUT(web()->title(), u"confirm:false prompt:null"_s, 20000);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(web()->isSilent());
}

void TstWebPaneForm::messageBoardKeepsTheBrowsersDialogs()
{
    open(Window::Liuyan);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    waitForLoads(completed, 1);
    QVERIFY(!web()->isSilent());
}

void TstWebPaneForm::f5ReturnsTheUploadWindowToItsStartPage()
{
    openAndMoveOn(Window::Fenxiang);
    QVERIFY(!QTest::currentTestFailed());
    QSignalSpy begun(web(), &WebPane::DownloadBegin);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);

    pressF5();
    QTRY_COMPARE_WITH_TIMEOUT(web()->url(), QUrl(url(u"wangyou/"_s)), 20000);
    waitForLoads(completed, 1);
    // One load for the key: back to the start page, and no reload of the page left behind.
    QCOMPARE(begun.count(), 1);
    QCOMPARE(m_server.requestedTargets.count(u"/other"_s), 1);

    // On the start page itself, F5 loads it again.
    pressF5();
    waitForLoads(completed, 2);
    QCOMPARE(web()->url(), QUrl(url(u"wangyou/"_s)));
    QCOMPARE(m_server.requestedTargets.count(u"/wangyou/"_s), 3);
}

void TstWebPaneForm::f5ReachesOnlyTheActiveUploadWindow()
{
    openAndMoveOn(Window::Fenxiang);
    QVERIFY(!QTest::currentTestFailed());

    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    QSignalSpy begun(web(), &WebPane::DownloadBegin);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    QTest::keyClick(&elsewhere, Qt::Key_F5);
    QCOMPARE(web()->url(), QUrl(url(u"other"_s)));

    // The same key in the upload window afterwards is the one load: the first went nowhere.
    m_form->window()->activateWindow();
    pressF5();
    waitForLoads(completed, 1);
    QCOMPARE(begun.count(), 1);
    QCOMPARE(web()->url(), QUrl(url(u"wangyou/"_s)));
    QCOMPARE(m_server.requestedTargets.count(u"/wangyou/"_s), 2);
}

void TstWebPaneForm::f5DoesNothingInTheMessageBoard()
{
    openAndMoveOn(Window::Liuyan);
    QVERIFY(!QTest::currentTestFailed());

    QSignalSpy begun(web(), &WebPane::DownloadBegin);
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    pressF5();

    // A link followed after the key is the one load: the key reloaded nothing.
    follow(u"third"_s);
    waitForLoads(completed, 1);
    QCOMPARE(begun.count(), 1);
    QCOMPARE(m_server.requestedTargets.count(u"/other"_s), 1);
}

void TstWebPaneForm::closingUnloadsAndReopeningStartsOver_data()
{
    opensOnItsStartAddress_data();
}

void TstWebPaneForm::closingUnloadsAndReopeningStartsOver()
{
    QFETCH(Window, which);
    QFETCH(QString, path);
    openAndMoveOn(which);
    QVERIFY(!QTest::currentTestFailed());
    QSignalSpy unloaded(m_form.get(), &Form::unloaded);
    m_form->window()->close();
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!m_form->isLoaded());

    m_form->show();
    QSignalSpy completed(web(), &WebPane::DownloadComplete);
    waitForLoads(completed, 1);
    QCOMPARE(web()->url(), QUrl(url(path)));
}

QTEST_MAIN(TstWebPaneForm)
#include "tst_webpaneform.moc"
