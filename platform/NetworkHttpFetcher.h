#pragma once

#include "catalogue/HttpFetcher.h"

#include <chrono>
#include <memory>

class QNetworkAccessManager;

// GET over QNetworkAccessManager, waited for in a local event loop that keeps windows painting
// but holds back user input, so no second operation can start while one is under way.
class NetworkHttpFetcher final : public HttpFetcher
{
public:
    explicit NetworkHttpFetcher(std::chrono::milliseconds transferTimeout = std::chrono::seconds(30));
    ~NetworkHttpFetcher() override;

    std::optional<QByteArray> get(const QString &url) override;

private:
    std::chrono::milliseconds m_transferTimeout;
    // Made at the first fetch: start-up does not pay for the network stack.
    std::unique_ptr<QNetworkAccessManager> m_manager;
};
