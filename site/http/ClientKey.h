#pragma once

#include <QHostAddress>
#include <QString>

namespace Site {

// What one client is, for the caps on connections and the flood limits: an IPv4 address, or
// the /64 network of an IPv6 one. A provider hands each IPv6 customer a /64 at least, so its
// addresses are one client's as surely as an IPv4 address is; counted one by one, they would
// give that client 2^64 allowances.
class ClientKey
{
public:
    static constexpr int Ipv6PrefixLength = 64;

    // An IPv4 client reached over an IPv6 socket is its IPv4 address.
    static QHostAddress of(const QHostAddress &address);
    // A trusted proxy is its own address: another machine of its /64 is not it.
    static QHostAddress ofProxy(const QHostAddress &address);
    // As the log shows it: "203.0.113.7" or "2001:db8:1:2::/64".
    static QString text(const QHostAddress &key);
};

}  // namespace Site
