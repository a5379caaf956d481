#pragma once

#include "download/MessageBox.h"

#include <QWidget>

#include <functional>

namespace Quillmere {

// QMessageBox over the window that raised it: modal to that window only and centred on it.
class DialogMessageBox final : public MessageBox
{
public:
    // Asked at every box, since the window that raises boxes is made anew at each opening;
    // null shows the box on its own, in the middle of the screen.
    using OwnerWindow = std::function<QWidget *()>;

    explicit DialogMessageBox(OwnerWindow owner);

    void show(Icon icon, const QString &title, const QString &text) override;

private:
    OwnerWindow m_owner;
};

}  // namespace Quillmere
