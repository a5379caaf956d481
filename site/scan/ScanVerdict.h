#pragma once

#include <QString>

namespace Site {

// What a scanner said of bytes it read whole: nothing found, or the name of the signature that
// matched them.
struct ScanVerdict
{
    QString signature;  // empty when nothing was found
    bool found() const { return !signature.isEmpty(); }
};

// Why bytes could not be scanned (the scanner down, too slow, refusing them, or unable to read
// them whole), in words the operator can act on.
struct ScanError
{
    QString text;
};

}  // namespace Site
