#pragma once

#include "windows/WebPaneForm.h"

namespace Quillmere {

// The upload window: the site's page for sharing a resource. It shows no dialogs of the
// browser, and F5 brings it back to its start page from wherever the user has gone.
class Form_fenxiang final : public WebPaneForm
{
    Q_OBJECT

public:
    explicit Form_fenxiang(const QString &serverRoot, QObject *parent = nullptr);

protected:
    QWidget *createWindow() override;
    void web_DownloadComplete() override;

private:
    void web_DownloadBegin();
    void ReloadOnF5();
};

}  // namespace Quillmere
