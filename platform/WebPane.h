#pragma once

#include <QWebEngineView>

class QWebEnginePage;

// The embedded browser of the web windows and of the official catalogue.
class WebPane : public QWebEngineView
{
    Q_OBJECT

public:
    explicit WebPane(QWidget *parent = nullptr);

    // A silent pane shows no dialogs of its own: no script alerts, confirmations or prompts.
    void setSilent(bool silent);
    bool isSilent() const;

    void Navigate(const QUrl &url);

    // Hooks the document now shown so that right clicks over it show no menu. A document
    // loaded later needs hooking again.
    void suppressContextMenuOfDocument();

Q_SIGNALS:
    void DownloadBegin();
    void DownloadComplete();
};
