#include "platform/WebPane.h"

#include "support/ScriptedHttpServer.h"
#include "support/WebPaneScripts.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstWebPane : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void reportsLoadBeginAndCompletion();
    void silentPaneShowsNoDialogs();
    void rightClickOverAHookedDocumentShowsNoMenu();
    void fileDialogOffersTheTypesTheFormAccepts();

private:
    void rightClick();
    ScriptedHttpServer m_server;
    std::unique_ptr<WebPane> m_pane;
};

void TstWebPane::initTestCase()
{
    m_server.setAnswer(u"/report"_s, ScriptedHttpServer::reply(200, reportingPage("report", "/report"), "text/html"));
    m_server.setAnswer(u"/dialogs"_s, ScriptedHttpServer::reply(200, DialogPage, "text/html"));
    m_server.setAnswer(
        u"/form"_s,
        ScriptedHttpServer::reply(
            200, R"(<html><body><input id="file" type="file" multiple accept=".zip,text/plain,nonsense/x"></body></html>)",
            "text/html"));
}

void TstWebPane::init()
{
    m_pane = std::make_unique<WebPane>();
    m_pane->resize(400, 300);
    m_pane->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
}

void TstWebPane::cleanup()
{
    m_pane.reset();
}

void TstWebPane::rightClick()
{
    QWidget *surface = inputSurface(m_pane.get());
    QVERIFY(surface);
    QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(50, 50));
}

void TstWebPane::reportsLoadBeginAndCompletion()
{
    QSignalSpy begun(m_pane.get(), &WebPane::DownloadBegin);
    QSignalSpy completed(m_pane.get(), &WebPane::DownloadComplete);
    m_pane->Navigate(QUrl(m_server.root() + u"report"_s));
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 20000);
    QCOMPARE(begun.count(), 1);
    QCOMPARE(m_pane->url(), QUrl(m_server.root() + u"report"_s));
}

void TstWebPane::silentPaneShowsNoDialogs()
{
    m_pane->setSilent(true);
    QVERIFY(m_pane->isSilent());
    QSignalSpy completed(m_pane.get(), &WebPane::DownloadComplete);
    m_pane->Navigate(QUrl(m_server.root() + u"dialogs"_s));
    QTRY_COMPARE_WITH_TIMEOUT(m_pane->title(), u"confirm:false prompt:null"_s, 20000);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TstWebPane::rightClickOverAHookedDocumentShowsNoMenu()
{
    QSignalSpy completed(m_pane.get(), &WebPane::DownloadComplete);
    m_pane->Navigate(QUrl(m_server.root() + u"report"_s));
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 20000);

    m_pane->suppressContextMenuOfDocument();
    QVERIFY(waitForApplicationScripts(m_pane.get()));
    rightClick();
    QTRY_COMPARE_WITH_TIMEOUT(m_pane->title(), u"cancelled:true"_s, 10000);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);

    // A new document is not hooked until the pane is told again.
    engineView(m_pane.get())->reload();
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 2, 20000);
    rightClick();
    QTRY_COMPARE_WITH_TIMEOUT(m_pane->title(), u"cancelled:false"_s, 10000);
}

void TstWebPane::fileDialogOffersTheTypesTheFormAccepts()
{
    m_pane->setFileChooserCaption(u"选择文件"_s);
    QSignalSpy completed(m_pane.get(), &WebPane::DownloadComplete);
    m_pane->Navigate(QUrl(m_server.root() + u"form"_s));
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 20000);

    const std::optional<FileDialogSeen> seen = cancelFileDialog(m_pane.get(), u"file"_s);
    QVERIFY(seen);
    QCOMPARE(seen->mode, QFileDialog::ExistingFiles);
    // A type the desktop does not know is left out; every file stays choosable.
    QCOMPARE(seen->filters.size(), 3);
    QVERIFY(seen->filters.contains(u"*.zip"_s));
    QCOMPARE(seen->filters.filter(u"(*.txt"_s).size(), 1);
    QCOMPARE(seen->filters.last(), u"All Files (*)"_s);
}

QTEST_MAIN(TstWebPane)
#include "tst_webpane.moc"
