#pragma once

#include <QString>

namespace Quillmere {

// Everything in which the official and the user catalogue windows browse differently.
struct CatalogueProfile
{
    QString cataloguePath;                // appended to the server root
    QString endpoint;                     // ends with "?"
    int fieldCount = 0;                   // record fields used, which are also the list's columns
    bool hasSearchField = false;          // searches by category or title (official)
    bool pagingRepeatsSearch = false;     // after a search, pages repeat the search query (official)
    bool keepsDownloadAddresses = false;  // keeps field 4 of each row beside the list (official)

    static CatalogueProfile official();
    static CatalogueProfile user();
};

}  // namespace Quillmere
