#pragma once

#include "common/Result.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace Site {

// The proxies in front of the site (nginx) whose X-Forwarded-For is believed. Anyone can send
// that header, so it is read only from a listed peer, and only as far back as listed proxies
// reach: each trusted hop vouches for the address it got the request from, nothing more.
class TrustedProxies
{
public:
    // From "--trusted-proxy" values, each an address or a network such as 10.0.0.0/8; the
    // message names the first that is neither.
    static Result<TrustedProxies, QString> fromList(const QStringList &values);

    bool isEmpty() const { return m_networks.isEmpty(); }
    bool contains(const QHostAddress &address) const;
    // The client a request came from: the peer itself unless it is a trusted proxy; then the
    // right-most forwarded address that is not one. Where the list cannot be read further
    // back (a malformed entry, or its start), the last trusted hop reached is the client.
    // forwardedFor holds each X-Forwarded-For header as sent, in order.
    QHostAddress client(const QHostAddress &peer, const QList<QByteArray> &forwardedFor) const;

private:
    QList<std::pair<QHostAddress, int>> m_networks;
};

}  // namespace Site
