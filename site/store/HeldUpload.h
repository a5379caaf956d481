#pragma once

#include "site/store/SiteResource.h"

#include <QByteArray>
#include <QString>

namespace Site {

// An upload that came while no scan could be had, kept unpublished in the held folder until a
// later scan passes it: then it takes its name and its entry as any upload does.
struct HeldUpload
{
    qint64 id = 0;
    SiteResource entry;  // as entered, with the sender's address
    QString fileName;    // the name it is to be stored under
    QString heldName;    // in the held folder
    QByteArray sha256;
    qint64 size = 0;
    QString heldAt;  // UTC, "2024-03-15T21:07:42Z"
};

}  // namespace Site
