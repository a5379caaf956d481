#include "site/http/TrustedProxies.h"

#include "site/http/AddressText.h"

#include <QStringView>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// A v4 peer on a socket that also takes v6 arrives as ::ffff:a.b.c.d; it is the same address.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

}  // namespace

Result<TrustedProxies, QString> TrustedProxies::fromList(const QStringList &values)
{
    TrustedProxies proxies;
    for (const QString &value : values) {
        const QString text = value.trimmed();
        std::pair<QHostAddress, int> network;
        if (text.contains(u'/')) {
            const auto parsed = AddressText::network(text);
            if (!parsed)
                return Failure(parsed.error());
            network = *parsed;
        } else if (const std::optional<QHostAddress> address = AddressText::address(text)) {
            network = {*address, address->protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
        } else {
            return Failure(u"not an address or a network: %1"_s.arg(value));
        }
        // A v4-mapped network is the IPv4 one.
        bool isV4 = false;
        network.first.toIPv4Address(&isV4);
        if (isV4 && network.second >= 96)
            network = {plain(network.first), network.second - 96};
        proxies.m_networks.append(network);
    }
    return proxies;
}

bool TrustedProxies::contains(const QHostAddress &address) const
{
    const QHostAddress plainAddress = plain(address);
    for (const auto &[network, length] : m_networks) {
        if (plainAddress.isInSubnet(network, length))
            return true;
    }
    return false;
}

QHostAddress TrustedProxies::client(const QHostAddress &peer, const QList<QByteArray> &forwardedFor) const
{
    QHostAddress client = plain(peer);
    if (!contains(client))
        return client;
    QList<QByteArray> hops;
    for (const QByteArray &header : forwardedFor)
        hops.append(header.split(','));
    for (auto hop = hops.crbegin(); hop != hops.crend(); ++hop) {
        // Ports, brackets and shorthand are not what a proxy writes; an entry like that was made up.
        const std::optional<QHostAddress> address = AddressText::address(QString::fromLatin1(hop->trimmed()));
        if (!address)
            return client;
        client = plain(*address);
        if (!contains(client))
            return client;
    }
    return client;
}

}  // namespace Site
