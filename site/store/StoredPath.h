#pragma once

#include <QString>

#include <optional>

namespace Site {

// A path below one of the site's folders, as a record or a backup's list names a file, or a
// request asks for one. Whatever wrote it may have been tampered with, so it is taken only
// while it stays inside its folder.
class StoredPath
{
public:
    // Segments separated by "/", none of them empty, "." or "..", and no "\" or NUL in any.
    static bool isPlain(const QString &relativePath);
    // The path inside folder when it is plain and what exists of it (the file, or the nearest
    // folder it would be in) resolves inside the folder, links followed; nothing when it leaves.
    static std::optional<QString> inside(const QString &folder, const QString &relativePath);
    // The regular file the path names inside folder, as its canonical path; nothing for
    // anything else.
    static std::optional<QString> locate(const QString &folder, const QString &relativePath);
};

}  // namespace Site
