#pragma once

#include "site/store/SiteMessage.h"

#include <QList>

namespace Site {

// One page of the message board, newest first.
struct MessagePage
{
    static constexpr int Size = 10;

    QList<SiteMessage> messages;
    qint64 total = 0;  // messages on the whole board
};

}  // namespace Site
