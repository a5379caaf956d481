#include "platform/WebPane.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

using namespace Qt::StringLiterals;

namespace {

class SilentPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

    bool silent = false;

protected:
    void javaScriptAlert(const QUrl &origin, const QString &message) override
    {
        if (!silent)
            QWebEnginePage::javaScriptAlert(origin, message);
    }

    bool javaScriptConfirm(const QUrl &origin, const QString &message) override
    {
        return !silent && QWebEnginePage::javaScriptConfirm(origin, message);
    }

    bool javaScriptPrompt(const QUrl &origin, const QString &message, const QString &defaultValue,
                          QString *result) override
    {
        return !silent && QWebEnginePage::javaScriptPrompt(origin, message, defaultValue, result);
    }
};

} // namespace

WebPane::WebPane(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new SilentPage(this));
    connect(this, &QWebEngineView::loadStarted, this, &WebPane::DownloadBegin);
    connect(this, &QWebEngineView::loadFinished, this, &WebPane::DownloadComplete);
}

void WebPane::setSilent(bool silent)
{
    static_cast<SilentPage *>(page())->silent = silent;
}

bool WebPane::isSilent() const
{
    return static_cast<const SilentPage *>(page())->silent;
}

void WebPane::Navigate(const QUrl &url)
{
    load(url);
}

void WebPane::suppressContextMenuOfDocument()
{
    // Cancelling the document's contextmenu event keeps the engine from asking for a menu.
    // The listener lives in the program's own script world, out of the page's reach.
    page()->runJavaScript(
        u"window.addEventListener('contextmenu', function (event) { event.preventDefault(); }, true);"_s,
        QWebEngineScript::ApplicationWorld);
}
