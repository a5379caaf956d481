#include "platform/WebPane.h"

#include "platform/CertificateTrust.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibrary>
#include <QLoggingCategory>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

Q_LOGGING_CATEGORY(lcWeb, "quillmere.web", QtWarningMsg)

// The engine module sits beside the executable; a program that linked it already has it.
EngineViewFactory engineViewFactory()
{
    static const EngineViewFactory factory = []() -> EngineViewFactory {
        for (const QString &module :
             {QCoreApplication::applicationDirPath() + u"/quillmere_webengine"_s, u"quillmere_webengine"_s}) {
            QLibrary library(module);
            if (auto create = reinterpret_cast<EngineViewFactory>(library.resolve(EngineViewFactorySymbol)))
                return create;
        }
        return nullptr;
    }();
    return factory;
}

}  // namespace

WebPane::WebPane(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (const EngineViewFactory create = engineViewFactory()) {
        m_engine = create(this);
        m_engine->callOnLoads(
            [this] {
                m_refusal.reset();
                Q_EMIT DownloadBegin();
            },
            [this](bool shown) {
                // Screen readers name the pane by the page it shows, also where its keys arrive.
                QWidget *view = m_engine->widget();
                for (QWidget *named : {view, view->focusProxy()}) {
                    if (named)
                        named->setAccessibleName(m_engine->title());
                }
                // A refusal for the page's parts (its icon, its pictures) leaves the page shown.
                const std::optional<std::pair<QUrl, TransferError>> refusal = std::exchange(m_refusal, std::nullopt);
                Q_EMIT DownloadComplete();
                if (!shown && refusal && refusal->first.matches(m_engine->url(), QUrl::RemoveFragment))
                    Q_EMIT CertificateRefused(refusal->second);
            });
        m_engine->askAboutUnknownAuthorities(
            [this](const QList<QSslCertificate> &chain, const QUrl &url) { return trusts(chain, url); });
        setFocusProxy(m_engine->widget());
        layout->addWidget(m_engine->widget());
    } else {
        auto *notice = new QLabel(u"无法加载网页组件"_s, this);
        notice->setAlignment(Qt::AlignCenter);
        layout->addWidget(notice);
    }
}

bool WebPane::trusts(const QList<QSslCertificate> &chain, const QUrl &url)
{
    const Result<void, TransferError> verified = CertificateTrust::verify(chain, url.host());
    if (verified)
        return true;
    qCWarning(lcWeb) << "refused the certificate of" << url.toDisplayString() << ':' << verified.error();
    m_refusal.emplace(url, verified.error());
    return false;
}

void WebPane::showText(const QString &text)
{
    if (m_engine)
        m_engine->showText(text);
}

void WebPane::setSilent(bool silent)
{
    m_silent = silent;
    if (m_engine)
        m_engine->setSilent(silent);
}

void WebPane::Navigate(const QUrl &url)
{
    if (m_engine)
        m_engine->navigate(url);
}

QUrl WebPane::url() const
{
    return m_engine ? m_engine->url() : QUrl();
}

QString WebPane::title() const
{
    return m_engine ? m_engine->title() : QString();
}

void WebPane::suppressContextMenuOfDocument()
{
    if (m_engine)
        m_engine->suppressContextMenuOfDocument();
}

void WebPane::setFileChooserCaption(const QString &caption)
{
    if (m_engine)
        m_engine->setFileChooserCaption(caption);
}

}  // namespace Quillmere
