#pragma once

#include <QString>
#include <QUrl>

// What the windows ask of the desktop: show a folder, open a link. Neither waits nor reports.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual void openFolder(const QString &folder) = 0;
    virtual void openTarget(const QUrl &target) = 0;
};
