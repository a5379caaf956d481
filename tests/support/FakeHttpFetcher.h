#pragma once

#include "catalogue/HttpFetcher.h"

#include <QHash>
#include <QStringList>

namespace Quillmere {

// Answers GETs from a table of bodies; a URL without an entry fails as refused, and so does
// every URL while offline. Records every request.
class FakeHttpFetcher : public HttpFetcher
{
public:
    static inline const TransferError Refused{TransferError::Kind::ConnectionRefused, 0, QStringLiteral("h"), {}};

    Result<QByteArray, Error> get(const QString &url) override
    {
        requests.append(url);
        if (offline || !bodies.contains(url))
            return Failure(Refused);
        return bodies.value(url);
    }

    QHash<QString, QByteArray> bodies;
    QStringList requests;
    bool offline = false;
};

}  // namespace Quillmere
