#pragma once

#include "platform/WebPane.h"

#include <QByteArray>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

// A page that reports in its title whether a right click's context menu was cancelled, with a
// link (id "next") to follow.
inline QByteArray reportingPage(const QByteArray &title, const QByteArray &link)
{
    return "<html><head><title>" + title + "</title></head><body style=\"height:500px\">"
           "<a id=\"next\" href=\"" + link + "\">next</a><script>"
           "window.addEventListener('contextmenu', function (e) {"
           "    setTimeout(function () { document.title = 'cancelled:' + e.defaultPrevented; });"
           "});</script></body></html>";
}

// A page that tries the three dialogs a script can raise and reports in its title what the
// confirmation and the prompt answered.
inline const QByteArray DialogPage = R"(<html><body><script>
alert('hello');
document.title = 'confirm:' + confirm('sure?') + ' prompt:' + prompt('name?', 'x');
</script></body></html>)";

// The engine's view inside a pane, for what the pane itself does not offer.
inline QWebEngineView *engineView(const WebPane *pane)
{
    return qobject_cast<QWebEngineView *>(pane->engineView());
}

// The widget that takes the pane's mouse and keyboard input.
inline QWidget *inputSurface(const WebPane *pane)
{
    return engineView(pane)->focusProxy();
}

// Waits until every script the pane was asked to run in the program's own world has run:
// they run in the order asked, so an answer from one more means the earlier ones are done.
// A right click sent earlier could overtake the hook that keeps the menu away.
inline bool waitForApplicationScripts(WebPane *pane)
{
    auto answered = std::make_shared<bool>(false);
    engineView(pane)->page()->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                                [answered](const QVariant &) { *answered = true; });
    return QTest::qWaitFor([&] { return *answered; }, 20000);
}
