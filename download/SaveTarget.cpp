#include "download/SaveTarget.h"

#include "common/Spaces.h"
#include "download/SavePath.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Quillmere {

Result<SaveTarget, SaveTarget::Problem> SaveTarget::forEntry(const QString &downloadFolder, const QString &filesRoot,
                                                             const QString &title, const QString &address)
{
    const QString trimmedAddress = trimSpaces(address);
    if (trimmedAddress.isEmpty())
        return Failure(Problem::NoAddress);
    if (!SavePath::isSafeAddress(trimmedAddress))
        return Failure(Problem::UnsafeAddress);
    SaveTarget target;
    target.m_url = filesRoot + trimmedAddress;
    target.m_titleFolder = downloadFolder + SavePath::folderName(trimSpaces(title)) + u"/"_s;
    target.m_file = target.m_titleFolder + trimmedAddress;
    return target;
}

QString SaveTarget::fileFolder() const
{
    return QFileInfo(m_file).absolutePath();
}

Result<void, SaveTarget::Problem> SaveTarget::makeFolders()
{
    QStringList missing;
    for (QString folder = fileFolder(); !QFileInfo::exists(folder); folder = QFileInfo(folder).path()) {
        missing.append(folder);
        if (QDir(folder).isRoot())
            break;
    }
    const bool made = QDir().mkpath(fileFolder());
    for (const QString &folder : std::as_const(missing)) {
        if (QFileInfo(folder).isDir())
            m_madeFolders.append(folder);
    }
    if (!made)
        return Failure(Problem::FolderNotMade);
    return {};
}

void SaveTarget::removeMadeFolders()
{
    // Deepest first: a parent can only go once its made child has gone.
    for (const QString &folder : std::as_const(m_madeFolders)) {
        if (!QDir().rmdir(folder))
            break;
    }
    m_madeFolders.clear();
}

}  // namespace Quillmere
