#pragma once

#include "platform/WebPane.h"

#include <QApplication>
#include <QByteArray>
#include <QFileDialog>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>
#include <optional>

namespace Quillmere {

// A page that reports in its title whether a right click's context menu was cancelled, with a
// link (id "next") to follow.
inline QByteArray reportingPage(const QByteArray &title, const QByteArray &link)
{
    return "<html><head><title>" + title
        + "</title></head><body style=\"height:500px\">"
          "<a id=\"next\" href=\""
        + link
        + "\">next</a><script>"
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

// What the file dialog of a form's file input showed.
struct FileDialogSeen
{
    QString caption;
    QString folder;
    QStringList filters;
    QFileDialog::FileMode mode;
};

// Opens the file dialog of the file input with the given id as a user would, from the
// keyboard, and cancels it once it is seen. Nothing when no dialog opens.
inline std::optional<FileDialogSeen> cancelFileDialog(WebPane *pane, const QString &inputId)
{
    std::optional<FileDialogSeen> seen;
    // The dialog runs in a loop of its own, so it is watched for from a timer.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            seen = {dialog->windowTitle(), dialog->directory().absolutePath(), dialog->nameFilters(), dialog->fileMode()};
            dialog->reject();
        }
    });
    watch.start(20);
    auto focused = std::make_shared<bool>(false);
    engineView(pane)->page()->runJavaScript(
        QStringLiteral("document.getElementById('%1').focus(); document.activeElement.id").arg(inputId),
        [focused, inputId](const QVariant &active) { *focused = active.toString() == inputId; });
    if (!QTest::qWaitFor([&] { return *focused; }, 20000))
        return std::nullopt;
    QTest::keyClick(inputSurface(pane), Qt::Key_Space);
    return QTest::qWaitFor([&] { return seen.has_value(); }, 20000) ? seen : std::nullopt;
}

}  // namespace Quillmere
