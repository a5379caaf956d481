#pragma once

#include "catalogue/HttpFetcher.h"

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace Quillmere {

// GET over QNetworkAccessManager, waited for in a local event loop that keeps windows painting
// but holds back user input, so no second operation can start while one is under way. A
// broken or hostile server cannot hold the client for ever nor fill its memory: the fetch
// fails when the server goes quiet for the transfer time-out, when the whole answer takes
// longer than the deadline, and as soon as the body (or its stated length) passes the limit.
class NetworkHttpFetcher final : public HttpFetcher
{
public:
    // Well above a full page of 32 767 records (about 6 MB).
    static constexpr qint64 DefaultBodyLimit = 64 * 1024 * 1024;

    explicit NetworkHttpFetcher(std::chrono::milliseconds transferTimeout = std::chrono::seconds(30),
                                std::chrono::milliseconds deadline = std::chrono::seconds(60),
                                qint64 bodyLimit = DefaultBodyLimit);
    ~NetworkHttpFetcher() override;

    Result<QByteArray, Error> get(const QString &url) override;

private:
    std::chrono::milliseconds m_transferTimeout;
    std::chrono::milliseconds m_deadline;
    qint64 m_bodyLimit;
    // Made at the first fetch: start-up does not pay for the network stack.
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

}  // namespace Quillmere
