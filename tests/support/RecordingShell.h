#pragma once

#include "platform/Shell.h"

#include <QStringList>

namespace Quillmere {

// Records what the windows ask the desktop to open instead of opening it.
class RecordingShell : public Shell
{
public:
    void openFolder(const QString &folder) override { folders.append(folder); }
    void openTarget(const QString &target) override { targets.append(target); }
    void showFile(const QString &file) override { shownFiles.append(file); }
    void notify(const QString &summary, const QString &body) override { notifications.append(summary + u'|' + body); }

    QStringList folders;
    QStringList targets;
    QStringList shownFiles;
    // "summary|body"
    QStringList notifications;
};

}  // namespace Quillmere
