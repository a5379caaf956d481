#pragma once

#include <QString>

// Names that come from the server and become paths under the download folder.
namespace SavePath {

// An entry's title as one folder name: "/" and "\" become "_", and so do "." and "..".
QString folderName(const QString &title);

// Whether a download address may be used below that folder: a relative path whose segments
// (split at "/" or "\") are neither empty, "." nor "..".
bool isSafeAddress(const QString &address);

} // namespace SavePath
