#pragma once

#include "site/http/RequestGuard.h"

#include <QByteArray>
#include <QHostAddress>
#include <QUrl>

// One request as the site's routes see it: its head, its whole body and who sent it.
struct HttpRequest
{
    RequestGuard::Head head;
    QUrl url;  // the target, a path with maybe a query
    QByteArray body;
    QHostAddress peer;

    QByteArray header(QByteArrayView name) const { return head.header(name); }
    bool isGet() const { return head.method == "GET" || head.method == "HEAD"; }  // HEAD is GET without a body
    bool isPost() const { return head.method == "POST"; }
};
