// Any query string gives a query with a page in range, and writing that query out again in
// its plainest form gives the same key: one key per thing asked.
#include "site/CatalogueQuery.h"

#include <QUrl>

#include <cstdint>
#include <cstdlib>
#include <limits>

using namespace Site;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks the catalogue, the rest is the query string.
    if (size < 1)
        return 0;
    const Catalogue catalogue = data[0] & 1 ? Catalogue::User : Catalogue::Official;
    const QByteArrayView queryString(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);
    const CatalogueQuery query = CatalogueQuery::parse(catalogue, queryString);
    if (query.catalogue != catalogue || query.page < 1 || query.page > std::numeric_limits<qint32>::max()
        || (catalogue == Catalogue::User && query.field != SearchField::Anywhere)
        || (catalogue == Catalogue::Official && query.field == SearchField::Anywhere))
        std::abort();

    const QByteArray plain = "page=" + QByteArray::number(query.page) + "&q=" + QUrl::toPercentEncoding(query.keyword)
        + (query.field == SearchField::Category ? "&t=0" : "&t=1");
    if (CatalogueQuery::parse(catalogue, plain).key() != query.key())
        std::abort();
    return 0;
}
