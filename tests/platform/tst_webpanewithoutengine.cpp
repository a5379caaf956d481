#include "platform/WebPane.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

// This program neither links the engine module nor has it beside itself: the pane must still
// work as a widget and say why it shows no page.
class TstWebPaneWithoutEngine : public QObject
{
    Q_OBJECT

private slots:
    void paneSaysThePageCannotBeShown();
};

void TstWebPaneWithoutEngine::paneSaysThePageCannotBeShown()
{
    WebPane pane;
    QSignalSpy completed(&pane, &WebPane::DownloadComplete);
    pane.setSilent(true);
    pane.Navigate(QUrl(u"http://127.0.0.1:9/"_s));
    pane.suppressContextMenuOfDocument();

    QCOMPARE(pane.engineView(), nullptr);
    QVERIFY(pane.isSilent());
    QCOMPARE(pane.url(), QUrl());
    QCOMPARE(completed.count(), 0);
    auto *notice = pane.findChild<QLabel *>();
    QVERIFY(notice);
    QCOMPARE(notice->text(), u"无法加载网页组件"_s);
}

QTEST_MAIN(TstWebPaneWithoutEngine)
#include "tst_webpanewithoutengine.moc"
