#pragma once

#include "site/store/SiteResource.h"

#include <QList>

// Where a catalogue's keyword is looked for: the official catalogue searches its categories or
// its titles, the user catalogue everything a visitor typed.
enum class SearchField { Category, Title, Anywhere };

// One page of a catalogue, newest first.
struct CataloguePage
{
    static constexpr int Size = 10;

    QList<SiteResource> resources;
    qint64 total = 0;  // matches of the whole query, not of this page
};
