#include "site/store/StoredPath.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Site {

bool StoredPath::isPlain(const QString &relativePath)
{
    const QStringList segments = relativePath.split(u'/');
    return std::none_of(segments.begin(), segments.end(), [](const QString &segment) {
        return segment.isEmpty() || segment == u"."_s || segment == u".."_s || segment.contains(u'\\')
            || segment.contains(QChar::Null);
    });
}

std::optional<QString> StoredPath::inside(const QString &folder, const QString &relativePath)
{
    const QString base = QFileInfo(folder).canonicalFilePath();
    if (base.isEmpty() || !isPlain(relativePath))
        return std::nullopt;
    const QString path = QDir(base).filePath(relativePath);
    QFileInfo existing(path);
    while (!existing.exists() && !existing.isSymbolicLink())
        existing = QFileInfo(existing.path());
    // The canonical path resolves links, so a link inside the folder cannot lead out of it; a
    // link to nothing has none.
    const QString resolved = existing.canonicalFilePath();
    if (resolved != base && !resolved.startsWith(base + u'/'))
        return std::nullopt;
    return path;
}

std::optional<QString> StoredPath::locate(const QString &folder, const QString &relativePath)
{
    const std::optional<QString> path = inside(folder, relativePath);
    if (!path || !QFileInfo(*path).isFile())
        return std::nullopt;
    return QFileInfo(*path).canonicalFilePath();
}

}  // namespace Site
