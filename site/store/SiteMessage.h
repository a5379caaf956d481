#pragma once

#include <QString>

namespace Site {

// A message left on the site's message board.
struct SiteMessage
{
    qint64 id = 0;
    QString name;
    QString text;      // may hold line breaks
    QString postedAt;  // "2024-03-15 21:07"
    QString address;   // who sent it, as the site saw them
    bool hidden = false;
};

}  // namespace Site
