#include "site/CatalogueQuery.h"

#include <QUrlQuery>

#include <limits>

using namespace Qt::StringLiterals;

namespace Site {

CatalogueQuery CatalogueQuery::parse(Catalogue catalogue, QByteArrayView queryString)
{
    const QUrlQuery query(QString::fromUtf8(queryString));
    CatalogueQuery parsed;
    parsed.catalogue = catalogue;
    parsed.page = pageNumber(query.queryItemValue(u"page"_s));
    parsed.keyword = query.queryItemValue(u"q"_s, QUrl::FullyDecoded);
    if (catalogue == Catalogue::Official) {
        // The client's field selector: 0 searches the category, 1 the title.
        parsed.field = query.queryItemValue(u"t"_s) == u"0"_s ? SearchField::Category : SearchField::Title;
    }
    return parsed;
}

qint64 CatalogueQuery::pageNumber(const QString &value)
{
    bool ok = false;
    const qint64 page = value.toLongLong(&ok);
    return ok && page >= 1 && page <= std::numeric_limits<qint32>::max() ? page : 1;
}

QByteArray CatalogueQuery::key() const
{
    // The keyword comes last, so whatever it holds cannot be read as another field.
    return (catalogue == Catalogue::Official ? "o " : "u ") + QByteArray::number(int(field)) + ' '
        + QByteArray::number(page) + ' ' + keyword.toUtf8();
}

}  // namespace Site
