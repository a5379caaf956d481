#pragma once

#include "platform/WebPane.h"
#include "windows/Form.h"

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QUrl>

namespace Quillmere {

// A window that is one embedded browser showing a page of the site: it opens on its start
// address, and no page that has finished loading shows the browser's context menu.
class WebPaneForm : public Form
{
    Q_OBJECT

public:
    // The designer's values, in twips.
    struct Design
    {
        QString caption;
        QSize clientArea;
        QRect web;
    };

    QUrl startAddress() const { return m_startAddress; }

protected:
    WebPaneForm(const Design &design, const QUrl &startAddress, QObject *parent);

    QWidget *createWindow() override;
    void Form_Load() override;

    // Every completed load brings a new document, which is hooked again (the M_Dom of the design).
    virtual void web_DownloadComplete();

    // The browser of the current opening; null while the window is not loaded.
    WebPane *web() const { return m_web; }

private:
    Design m_design;
    QUrl m_startAddress;
    QPointer<WebPane> m_web;  // web: goes with the window
};

}  // namespace Quillmere
