#pragma once

#include "catalogue/HttpFetcher.h"

#include <QHash>
#include <QStringList>

// Answers GETs from a table of bodies; a URL without an entry fails. Records every request.
class FakeHttpFetcher : public HttpFetcher
{
public:
    Result<QByteArray, Error> get(const QString &url) override
    {
        requests.append(url);
        if (offline || !bodies.contains(url))
            return Failure(Error::Failed);
        return bodies.value(url);
    }

    QHash<QString, QByteArray> bodies;
    QStringList requests;
    bool offline = false;
};
