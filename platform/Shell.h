#pragma once

#include <QString>

// What the windows ask of the desktop: show a folder, open a link. Neither waits nor reports.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual void openFolder(const QString &folder) = 0;
    // target is a link such as http://..., magnet:?... or ed2k://|file|...|/
    virtual void openTarget(const QString &target) = 0;
};
