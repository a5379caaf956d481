#pragma once

namespace Quillmere {

class ProgramFolder;
class Shell;

namespace DownloadFolder {

// "资源管理" of every window: the folder is made first, since a desktop asked to open a folder
// that does not exist shows nothing or an error.
void open(const ProgramFolder &programFolder, Shell &shell);

}  // namespace DownloadFolder

}  // namespace Quillmere
