#pragma once

#include "platform/Shell.h"

namespace Quillmere {

// The desktop's own services: its file manager and link opener, and over the session bus its
// file-manager and notification services.
class DesktopShell final : public Shell
{
public:
    void openFolder(const QString &folder) override;
    void openTarget(const QString &target) override;
    void showFile(const QString &file) override;
    void notify(const QString &summary, const QString &body) override;
};

}  // namespace Quillmere
