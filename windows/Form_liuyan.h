#pragma once

#include "windows/WebPaneForm.h"

namespace Quillmere {

// The message board window: the site's message board page, and nothing more of its own.
class Form_liuyan final : public WebPaneForm
{
    Q_OBJECT

public:
    explicit Form_liuyan(const QString &serverRoot, QObject *parent = nullptr);
};

}  // namespace Quillmere
