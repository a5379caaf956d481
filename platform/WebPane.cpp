#include "platform/WebPane.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibrary>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

using ViewFactory = QWidget *(*)(QWidget *parent);

// The engine module sits beside the executable; a program that linked it already has it.
ViewFactory engineViewFactory()
{
    static const ViewFactory factory = [] () -> ViewFactory {
        for (const QString &module : {QCoreApplication::applicationDirPath() + u"/quillmere_webengine"_s,
                                      u"quillmere_webengine"_s}) {
            QLibrary library(module);
            if (auto create = reinterpret_cast<ViewFactory>(library.resolve("quillmereCreateEngineView")))
                return create;
        }
        return nullptr;
    }();
    return factory;
}

} // namespace

WebPane::WebPane(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (const ViewFactory create = engineViewFactory()) {
        m_view = create(this);
        setFocusProxy(m_view);
        connect(m_view, SIGNAL(loadStarted()), this, SIGNAL(DownloadBegin()));
        connect(m_view, SIGNAL(loadFinished(bool)), this, SIGNAL(DownloadComplete()));
        layout->addWidget(m_view);
    } else {
        auto *notice = new QLabel(u"无法加载网页组件"_s, this);
        notice->setAlignment(Qt::AlignCenter);
        layout->addWidget(notice);
    }
}

void WebPane::setSilent(bool silent)
{
    m_silent = silent;
    if (m_view)
        QMetaObject::invokeMethod(m_view, "setSilent", Q_ARG(bool, silent));
}

void WebPane::Navigate(const QUrl &url)
{
    if (m_view)
        QMetaObject::invokeMethod(m_view, "navigate", Q_ARG(QUrl, url));
}

QUrl WebPane::url() const
{
    return m_view ? m_view->property("url").toUrl() : QUrl();
}

QString WebPane::title() const
{
    return m_view ? m_view->property("title").toString() : QString();
}

void WebPane::suppressContextMenuOfDocument()
{
    if (m_view)
        QMetaObject::invokeMethod(m_view, "suppressContextMenuOfDocument");
}
