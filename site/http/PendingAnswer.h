#pragma once

#include "site/http/FormReader.h"
#include "site/http/HttpAnswer.h"

#include <memory>
#include <optional>
#include <variant>

struct MHD_Connection;

namespace Site {

class HttpDaemon;

// The answer to a request that a route gives later, once work elsewhere (a query on another
// thread) is done; its connection waits suspended meanwhile, and other connections are served.
// The route keeps this (copies share one request) and answers through it on the loop's
// thread, the daemon's; work on another thread hands its result back there first, as a queued
// call. Only the first answer counts. Answering once the request has gone, or the daemon has
// stopped, does nothing: isWaiting() tells whether anyone still waits. (A suspended connection
// is not watched: a client that leaves meanwhile is found gone once its answer is sent.)
class PendingAnswer
{
public:
    // Sends the answer; at the head it is sent as one decided then would be.
    void answer(HttpAnswer answer) const;
    // At the head only: reads the request's body as a form after all, which then arrives as
    // any other does.
    void readForm(const FormReader::Limits &limits) const;
    bool isWaiting() const;

private:
    friend class HttpDaemon;

    using Decision = std::variant<HttpAnswer, FormReader::Limits>;

    // Shared by the request, while it lasts, and every copy of its PendingAnswer.
    struct State
    {
        HttpDaemon *daemon = nullptr;
        MHD_Connection *connection = nullptr;
        bool atHead = true;
        bool waiting = true;     // false once decided, or once the request has gone
        bool suspended = false;  // the connection waits for the decision
        std::optional<Decision> decision;
    };

    explicit PendingAnswer(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {
    }
    void decide(Decision decision) const;

    std::shared_ptr<State> m_state;
};

}  // namespace Site
