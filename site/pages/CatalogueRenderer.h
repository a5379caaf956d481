#pragma once

#include "site/store/SiteStore.h"

#include <QByteArray>
#include <QString>

namespace Site {

// Writes catalogue pages in the layout the client reads: per record its fields joined by
// U+0002 and ended by U+0001, then "?TtbBa?", the number of matches, "?" and the last page.
class CatalogueRenderer
{
public:
    // Seven fields: category, title, remark, time, links, id, address of the resource's page.
    static QByteArray officialPage(const SiteStore::Page &page, const QString &root);
    // Six fields: category, title, remark, time, file path below the upload folder, id.
    static QByteArray userPage(const SiteStore::Page &page);

    // The layout has no escaping, so text that would end a field, a record or the page is dropped.
    static QString cleanField(const QString &value);

private:
    static QByteArray render(const QList<QStringList> &records, qint64 total);
};

}  // namespace Site
