#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A blocking HTTP GET: the whole body, unchanged, or nothing at all on any failure.
class HttpFetcher
{
public:
    virtual ~HttpFetcher() = default;

    virtual std::optional<QByteArray> get(const QString &url) = 0;
};
