#include "platform/EngineView.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace {

// Shows no dialogs of the page's scripts while silent.
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

EngineView::EngineView(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new SilentPage(this));
}

void EngineView::callOnLoads(std::function<void()> started, std::function<void()> finished)
{
    connect(this, &QWebEngineView::loadStarted, this, std::move(started));
    connect(this, &QWebEngineView::loadFinished, this, std::move(finished));
}

void EngineView::setSilent(bool silent)
{
    static_cast<SilentPage *>(page())->silent = silent;
}

void EngineView::navigate(const QUrl &url)
{
    load(url);
}

void EngineView::suppressContextMenuOfDocument()
{
    // Cancelling the document's contextmenu event keeps the engine from asking for a menu.
    // The listener lives in the program's own script world, out of the page's reach.
    page()->runJavaScript(
        u"window.addEventListener('contextmenu', function (event) { event.preventDefault(); }, true);"_s,
        QWebEngineScript::ApplicationWorld);
}

extern "C" Q_DECL_EXPORT AbstractEngineView *quillmereCreateEngineView(QWidget *parent)
{
    return new EngineView(parent);
}
static_assert(std::is_same_v<decltype(&quillmereCreateEngineView), EngineViewFactory>);
