#pragma once

#include "common/Result.h"
#include "common/TransferError.h"

#include <QByteArray>
#include <QString>

namespace Quillmere {

// A blocking HTTP GET: the whole body, unchanged, or why there is none; no part of a failed
// answer is ever used.
class HttpFetcher
{
public:
    using Error = TransferError;

    virtual ~HttpFetcher() = default;

    virtual Result<QByteArray, Error> get(const QString &url) = 0;
};

}  // namespace Quillmere
