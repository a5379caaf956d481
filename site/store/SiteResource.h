#pragma once

#include <QList>
#include <QString>

namespace Site {

// The two catalogues of the site: its own resources and the ones its users share.
enum class Catalogue { Official, User };

// A download link of an official resource. A target without a scheme is a path below the
// site root; it is made absolute per request, so links follow whatever host and port the
// client reached the site on.
struct ResourceLink
{
    QString label;
    QString target;
};

struct SiteResource
{
    qint64 id = 0;
    Catalogue catalogue = Catalogue::Official;
    QString category{};
    QString title{};
    QString remark{};
    QString collectedAt{};        // "2024-03-15 21:07": sorts like the time it stands for
    QString filePath{};           // user resources: below the upload folder
    QList<ResourceLink> links{};  // official resources, in the order they are shown
    QString address{};            // who sent it, as the site saw them; empty for the site's own
    bool hidden = false;          // taken off every page and catalogue by the operator
};

}  // namespace Site
