#include "windows/WebPaneForm.h"

#include "platform/WebPane.h"
#include "windows/Controls.h"
#include "windows/Twips.h"

using namespace Qt::StringLiterals;

namespace Quillmere {

WebPaneForm::WebPaneForm(const Design &design, const QUrl &startAddress, QObject *parent)
    : Form(parent)
    , m_design(design)
    , m_startAddress(startAddress)
{
}

QWidget *WebPaneForm::createWindow()
{
    auto *window = new QWidget;
    window->setWindowTitle(m_design.caption);
    // The browser keeps its designed size; the window is not meant to be resized.
    window->setFixedSize(twipsToPixels(m_design.clientArea.width()), twipsToPixels(m_design.clientArea.height()));

    m_web = Controls::webPane(
        window, u"web"_s, twipsRect(m_design.web.x(), m_design.web.y(), m_design.web.width(), m_design.web.height()));
    connect(m_web, &WebPane::DownloadComplete, this, &WebPaneForm::web_DownloadComplete);
    return window;
}

void WebPaneForm::Form_Load()
{
    m_web->Navigate(m_startAddress);
}

void WebPaneForm::web_DownloadComplete()
{
    m_web->suppressContextMenuOfDocument();
}

}  // namespace Quillmere
