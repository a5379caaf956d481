#pragma once

#include <QString>

namespace Site {

// Which entries the operator's listing shows: hidden ones too, newest first.
struct RowSelection
{
    qint64 recent = 0;  // at most this many; 0 for all
    QString network{};  // from this address or network only ("203.0.113.0/24"); empty for any
    QString word{};     // with this in a title, remark, category, name or text; empty for any
};

}  // namespace Site
