#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace Quillmere {

// What WebPane asks of the web engine's view. The engine lives in a module loaded at run time;
// this interface is all that passes between the two, so the compiler checks every call.
class AbstractEngineView
{
public:
    virtual ~AbstractEngineView() = default;

    // The view itself, to lay out and to focus.
    virtual QWidget *widget() = 0;

    virtual void navigate(const QUrl &url) = 0;
    virtual void setSilent(bool silent) = 0;
    virtual void suppressContextMenuOfDocument() = 0;
    virtual void setFileChooserCaption(const QString &caption) = 0;
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;

    // Shows text as a page of its own, titled with it, in place of the one shown.
    virtual void showText(const QString &text) = 0;

    // Calls started and finished whenever the view starts and finishes loading a page; finished
    // is told whether the page could be shown.
    virtual void callOnLoads(std::function<void()> started, std::function<void(bool shown)> finished) = 0;

    // The engine keeps a store of certificate authorities of its own. Where it does not know the
    // authority of a certificate, it asks trusts, with the chain the server presented and the
    // address it was presented for, and accepts the certificate only when that says yes. Any
    // other fault of a certificate is refused without asking.
    virtual void askAboutUnknownAuthorities(
        std::function<bool(const QList<QSslCertificate> &chain, const QUrl &url)> trusts) = 0;
};

// The engine module's one entry point: a new view, a child widget of parent.
using EngineViewFactory = AbstractEngineView *(*)(QWidget *parent);
inline constexpr char EngineViewFactorySymbol[] = "quillmereCreateEngineView";

}  // namespace Quillmere
