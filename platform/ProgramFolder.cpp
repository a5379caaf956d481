#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace Quillmere {

ProgramFolder::ProgramFolder(const QString &path)
    : m_path(QDir::cleanPath(path))
{
}

ProgramFolder ProgramFolder::ofExecutable()
{
    return ProgramFolder(QCoreApplication::applicationDirPath());
}

QString ProgramFolder::skinFile() const
{
    return m_path + u"/Skin/Skin.she"_s;
}

QString ProgramFolder::downloadFolder() const
{
    const QFileInfo folder(m_path);
    const QString base = folder.isWritable() ? m_path
                                             : QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return base + u"/Xiazai/"_s;
}

}  // namespace Quillmere
