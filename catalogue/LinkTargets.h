#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace Quillmere {

// Whether the desktop may open a download link's target: a link of one of the download
// schemes (web, FTP, magnet, ed2k, thunder). Local paths, file: and every other scheme are
// refused, since the target comes from the server.
bool isOpenableLinkTarget(const QString &target);

// A resource's browse address as a page the embedded browser may show: http or https only.
// Nothing for any other address, which is no failure: the entry has no page to show.
std::optional<QUrl> browsableAddress(const QString &address);

}  // namespace Quillmere
