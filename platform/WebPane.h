#pragma once

#include "common/TransferError.h"
#include "platform/AbstractEngineView.h"

#include <QUrl>
#include <QWidget>

#include <optional>

namespace Quillmere {

// The embedded browser of the web windows and of the official catalogue. The browser engine
// lives in a module of its own, loaded when the first pane is made, so that start-up does not
// wait for it; where the module cannot be loaded the pane says so in place of the page.
// Certificates are trusted as Qt Network trusts them, from the system's store, not from the
// engine's own.
class WebPane : public QWidget
{
    Q_OBJECT

public:
    explicit WebPane(QWidget *parent = nullptr);

    // A silent pane shows no dialogs of its own: no script alerts, confirmations or prompts.
    void setSilent(bool silent);
    bool isSilent() const { return m_silent; }

    void Navigate(const QUrl &url);
    QUrl url() const;
    QString title() const;

    // Hooks the document now shown so that right clicks over it show no menu. A document
    // loaded later needs hooking again.
    void suppressContextMenuOfDocument();

    // A form's files are then chosen in a dialog of this caption that opens in the user's
    // download folder, or home; without one, in the engine's own untitled dialog.
    void setFileChooserCaption(const QString &caption);

    // Shows text in place of the page, as a page titled with it.
    void showText(const QString &text);

    // The engine's own view, a QWebEngineView; null without the engine.
    QWidget *engineView() const { return m_engine ? m_engine->widget() : nullptr; }

Q_SIGNALS:
    void DownloadBegin();
    void DownloadComplete();
    // The page just loaded could not be shown, as its certificate was refused for reason;
    // raised after its DownloadComplete, while the engine shows its own error page.
    void CertificateRefused(const TransferError &reason);

private:
    bool trusts(const QList<QSslCertificate> &chain, const QUrl &url);

    AbstractEngineView *m_engine = nullptr;  // a child widget of the pane
    bool m_silent = false;
    // The certificate refused since the load began, and for which address.
    std::optional<std::pair<QUrl, TransferError>> m_refusal;
};

}  // namespace Quillmere
