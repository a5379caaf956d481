#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

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

    // Calls started and finished whenever the view starts and finishes loading a page.
    virtual void callOnLoads(std::function<void()> started, std::function<void()> finished) = 0;
};

// The engine module's one entry point: a new view, a child widget of parent.
using EngineViewFactory = AbstractEngineView *(*)(QWidget *parent);
inline constexpr char EngineViewFactorySymbol[] = "quillmereCreateEngineView";
