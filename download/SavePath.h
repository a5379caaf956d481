#pragma once

#include <QString>

namespace Quillmere {

// Names that come from the server and become paths under the download folder.
namespace SavePath {

// An entry's title as one folder name that a user sees and any desktop can hold: "/", "\" and
// control characters become "_", leading dots and trailing dots and spaces go, a name reserved
// on Windows gets a "_" in front, and the name is cut to 255 bytes of UTF-8. Nothing left
// gives "_". The same title always gives the same name.
QString folderName(const QString &title);

// Whether a download address may be used below that folder: a relative path whose segments
// (split at "/" or "\") are each already such a name, so none is empty, "." or "..", hidden,
// reserved or too long.
bool isSafeAddress(const QString &address);

}  // namespace SavePath

}  // namespace Quillmere
