#include "windows/DownloadFolder.h"

#include "platform/ProgramFolder.h"
#include "platform/Shell.h"

#include <QDir>

namespace Quillmere {

namespace DownloadFolder {

void open(const ProgramFolder &programFolder, Shell &shell)
{
    const QString folder = programFolder.downloadFolder();
    // A folder that cannot be made is the file manager's to report when it is asked for it.
    QDir().mkpath(folder);
    shell.openFolder(folder);
}

}  // namespace DownloadFolder

}  // namespace Quillmere
