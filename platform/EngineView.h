#pragma once

#include "platform/AbstractEngineView.h"

#include <QWebEngineView>

namespace Quillmere {

// The web engine's view as WebPane drives it, from the engine module.
class EngineView : public QWebEngineView, public AbstractEngineView
{
    Q_OBJECT

public:
    explicit EngineView(QWidget *parent = nullptr);

    QWidget *widget() override { return this; }
    void navigate(const QUrl &url) override;
    void setSilent(bool silent) override;
    void suppressContextMenuOfDocument() override;
    void setFileChooserCaption(const QString &caption) override;
    QUrl url() const override { return QWebEngineView::url(); }
    QString title() const override { return QWebEngineView::title(); }
    void showText(const QString &text) override;
    void callOnLoads(std::function<void()> started, std::function<void(bool shown)> finished) override;
    void askAboutUnknownAuthorities(std::function<bool(const QList<QSslCertificate> &chain, const QUrl &url)> trusts) override;
};

}  // namespace Quillmere
