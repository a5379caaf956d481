#pragma once

#include "site/store/SearchField.h"
#include "site/store/SiteResource.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace Site {

// What a catalogue address asks for: which page of which matches. Query strings that ask the
// same (parameters in another order, unknown ones, "page=02") give the same query and key, so
// a stranger cannot make the site keep a page once per spelling.
struct CatalogueQuery
{
    // From the query string as sent, after "?". A missing, zero, negative or unreadable page
    // number shows the first page. "+" in the keyword stays "+": the client sends spaces as %20.
    // In the official catalogue t=0 searches the category, anything else the title.
    static CatalogueQuery parse(Catalogue catalogue, QByteArrayView queryString);
    // A page number as sent; the message board reads its pages the same way.
    static qint64 pageNumber(const QString &value);

    // The same bytes for every query string that asks the same, and other bytes otherwise.
    QByteArray key() const;

    Catalogue catalogue = Catalogue::Official;
    qint64 page = 1;
    QString keyword;
    SearchField field = SearchField::Anywhere;
};

}  // namespace Site
