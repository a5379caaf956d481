#pragma once

#include <QString>

namespace Site {

// Why the site's store could not do what it was asked, in the database's or the file system's
// own words: the operator reads it in the log.
struct StoreError
{
    QString text;
};

}  // namespace Site
