#pragma once

#include "site/forms/MessagePost.h"
#include "site/http/HttpDaemon.h"

#include <optional>

namespace Site {

class PostGate;
class RouteContext;
class SiteStore;

// The message board, ten messages a page under the posting form, and the messages posted to
// it, checked and stored on a worker in the transaction that also counts them against the
// sender's allowance.
class MessageRoutes
{
public:
    MessageRoutes(RouteContext &context, const PostGate &gate)
        : m_context(context)
        , m_gate(gate)
    {
    }

    HttpDaemon::HeadDecision board(const HttpRequest &request);
    HttpDaemon::FormDecision post(const HttpRequest &request, ReceivedForm &form, std::optional<FormReader::Error> error);

private:
    static HttpAnswer boardPage(const SiteStore &store, qint64 page,
                                const std::optional<MessagePost::Rejection> &rejection, bool posted, qint64 waitSeconds,
                                const QString &root);

    RouteContext &m_context;
    const PostGate &m_gate;
};

}  // namespace Site
