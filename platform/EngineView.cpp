#include "platform/EngineView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace Quillmere {

namespace {

// The user's download folder where there is one, else the home folder.
QString fileChooserFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return QFileInfo(downloads).isDir() ? downloads : QDir::homePath();
}

// The types a form's file input accepts (".zip", "text/plain") as the dialog's filters, then
// every file; no filter at all when it names none the dialog can show.
QStringList nameFilters(const QStringList &acceptedTypes)
{
    QStringList filters;
    const QMimeDatabase mimeTypes;
    for (const QString &type : acceptedTypes) {
        if (type.startsWith(u'.'))
            filters.append(u'*' + type);
        else if (const QMimeType mimeType = mimeTypes.mimeTypeForName(type); mimeType.isValid())
            filters.append(mimeType.filterString());
    }
    if (!filters.isEmpty())
        filters.append(QCoreApplication::translate("QFileDialog", "All Files (*)"));
    return filters;
}

// Shows no dialogs of the page's scripts while silent, and picks the files of forms in a
// dialog of the program's own caption when it has one.
class EnginePage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

    bool silent = false;
    QString fileChooserCaption;

protected:
    // The static dialogs are the desktop's own where the platform offers one.
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override
    {
        if (fileChooserCaption.isEmpty() || (mode != FileSelectOpen && mode != FileSelectOpenMultiple))
            return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
        QWidget *view = QWebEngineView::forPage(this);
        const QString folder = oldFiles.value(0).isEmpty() ? fileChooserFolder() : oldFiles.value(0);
        const QString filter = nameFilters(acceptedMimeTypes).join(u";;"_s);
        if (mode == FileSelectOpenMultiple)
            return QFileDialog::getOpenFileNames(view, fileChooserCaption, folder, filter);
        const QString file = QFileDialog::getOpenFileName(view, fileChooserCaption, folder, filter);
        return file.isEmpty() ? QStringList() : QStringList{file};
    }

    void javaScriptAlert(const QUrl &origin, const QString &message) override
    {
        if (!silent)
            QWebEnginePage::javaScriptAlert(origin, message);
    }

    bool javaScriptConfirm(const QUrl &origin, const QString &message) override
    {
        return !silent && QWebEnginePage::javaScriptConfirm(origin, message);
    }

    bool javaScriptPrompt(const QUrl &origin, const QString &message, const QString &defaultValue, QString *result) override
    {
        return !silent && QWebEnginePage::javaScriptPrompt(origin, message, defaultValue, result);
    }
};

}  // namespace

EngineView::EngineView(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new EnginePage(this));
}

void EngineView::callOnLoads(std::function<void()> started, std::function<void(bool shown)> finished)
{
    connect(this, &QWebEngineView::loadStarted, this, std::move(started));
    connect(this, &QWebEngineView::loadFinished, this, std::move(finished));
}

void EngineView::askAboutUnknownAuthorities(std::function<bool(const QList<QSslCertificate> &chain, const QUrl &url)> trusts)
{
    connect(page(), &QWebEnginePage::certificateError, this,
            [trusts = std::move(trusts)](QWebEngineCertificateError error) {
                // Only the engine's own store is overruled, and only where it may be: a fault
                // the engine holds beyond the authority stays a refusal.
                if (error.type() == QWebEngineCertificateError::CertificateAuthorityInvalid && error.isOverridable()
                    && trusts(error.certificateChain(), error.url()))
                    error.acceptCertificate();
                else
                    error.rejectCertificate();
            });
}

void EngineView::showText(const QString &text)
{
    // Without a base address: the page is the program's, not the site's.
    const QString escaped = text.toHtmlEscaped();
    setHtml(u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
            u"<body><p>%1</p></body></html>"_s.arg(escaped));
}

void EngineView::setSilent(bool silent)
{
    static_cast<EnginePage *>(page())->silent = silent;
}

void EngineView::setFileChooserCaption(const QString &caption)
{
    static_cast<EnginePage *>(page())->fileChooserCaption = caption;
}

void EngineView::navigate(const QUrl &url)
{
    load(url);
}

void EngineView::suppressContextMenuOfDocument()
{
    // Cancelling the document's contextmenu event keeps the engine from asking for a menu.
    // The listener lives in the program's own script world, out of the page's reach.
    page()->runJavaScript(u"window.addEventListener('contextmenu', function (event) { event.preventDefault(); }, true);"_s,
                          QWebEngineScript::ApplicationWorld);
}

extern "C" Q_DECL_EXPORT AbstractEngineView *quillmereCreateEngineView(QWidget *parent)
{
    return new EngineView(parent);
}
static_assert(std::is_same_v<decltype(&quillmereCreateEngineView), EngineViewFactory>);

}  // namespace Quillmere
