#pragma once

#include "platform/Shell.h"

class DesktopShell final : public Shell
{
public:
    void openFolder(const QString &folder) override;
    void openTarget(const QString &target) override;
};
