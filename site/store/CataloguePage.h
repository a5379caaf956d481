#pragma once

#include "site/store/SiteResource.h"

#include <QList>

namespace Site {

// One page of a catalogue, newest first.
struct CataloguePage
{
    static constexpr int Size = 10;

    QList<SiteResource> resources;
    qint64 total = 0;  // matches of the whole query, not of this page
};

}  // namespace Site
