#pragma once

#include <QString>

namespace Site {

// One thing the operator did to the site, recorded with the change it describes.
struct ModerationEntry
{
    QString at;      // UTC, "2024-03-15T21:07:42Z"
    QString who;     // the user name the command ran under
    QString action;  // "hide resource 12 13"
};

}  // namespace Site
