#pragma once

#include "common/Result.h"

#include <QByteArray>
#include <QString>

// A blocking HTTP GET: the whole body, unchanged, or a failure without any of it.
class HttpFetcher
{
public:
    // No connection, an error status, a time-out and a body over the limit are all alike to the
    // catalogue, which then shows the last page that did arrive.
    enum class Error { Failed };

    virtual ~HttpFetcher() = default;

    virtual Result<QByteArray, Error> get(const QString &url) = 0;
};
