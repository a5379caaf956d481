#pragma once

#include <QWebEngineView>

// The web engine's view as WebPane drives it, by name, from the engine module.
class EngineView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit EngineView(QWidget *parent = nullptr);

    Q_INVOKABLE void setSilent(bool silent);
    Q_INVOKABLE void navigate(const QUrl &url);
    Q_INVOKABLE void suppressContextMenuOfDocument();
};
