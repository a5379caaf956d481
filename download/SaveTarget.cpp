#include "download/SaveTarget.h"

#include "catalogue/CatalogueProtocol.h"
#include "download/SavePath.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

SaveTarget::SaveTarget(const QString &downloadFolder, const QString &filesRoot, const QString &title,
                       const QString &address)
{
    const QString trimmedAddress = trimSpaces(address);
    if (trimmedAddress.isEmpty())
        return;
    if (!SavePath::isSafeAddress(trimmedAddress)) {
        m_problem = Problem::UnsafeAddress;
        return;
    }
    m_problem = Problem::None;
    m_url = filesRoot + trimmedAddress;
    m_titleFolder = downloadFolder + SavePath::folderName(trimSpaces(title)) + u"/"_s;
    m_file = m_titleFolder + trimmedAddress;
}

QString SaveTarget::fileFolder() const
{
    return QFileInfo(m_file).absolutePath();
}

bool SaveTarget::makeFolders()
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
    return made;
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
