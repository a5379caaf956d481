#pragma once

#include <QString>

namespace Quillmere {

// What the windows ask of the desktop: show a folder or a file, open a link, tell the user
// something in passing. None of them waits or reports.
class Shell
{
public:
    virtual ~Shell() = default;

    virtual void openFolder(const QString &folder) = 0;
    // target is a link such as http://..., magnet:?... or ed2k://|file|...|/
    virtual void openTarget(const QString &target) = 0;
    // The folder that holds file, with file selected where the desktop can do that.
    virtual void showFile(const QString &file) = 0;
    // A passing desktop notification; where the desktop has none, nothing happens.
    virtual void notify(const QString &summary, const QString &body) = 0;
};

}  // namespace Quillmere
