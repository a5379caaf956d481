#pragma once

#include "platform/Shell.h"

#include <QStringList>

// Records what the windows ask the desktop to open instead of opening it.
class RecordingShell : public Shell
{
public:
    void openFolder(const QString &folder) override { folders.append(folder); }
    void openTarget(const QString &target) override { targets.append(target); }

    QStringList folders;
    QStringList targets;
};
