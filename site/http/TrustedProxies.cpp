#include "site/http/TrustedProxies.h"

#include <QStringView>

using namespace Qt::StringLiterals;

namespace {

// A v4 peer on a socket that also takes v6 arrives as ::ffff:a.b.c.d; it is the same address.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

} // namespace

Result<TrustedProxies, QString> TrustedProxies::fromList(const QStringList &values)
{
    TrustedProxies proxies;
    for (const QString &value : values) {
        const QString text = value.trimmed();
        std::pair<QHostAddress, int> network = text.contains(u'/') ? QHostAddress::parseSubnet(text)
                                                                   : std::pair{QHostAddress(text), -1};
        if (network.first.isNull())
            return Failure(u"not an address or a network: %1"_s.arg(value));
        network.first = plain(network.first);
        if (network.second < 0)
            network.second = network.first.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
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
        const QByteArray text = hop->trimmed();
        // Ports and brackets are not what a proxy adds; an entry like that was made up.
        const QHostAddress address(QString::fromLatin1(text));
        if (text.isEmpty() || address.isNull() || !address.scopeId().isEmpty())
            return client;
        client = plain(address);
        if (!contains(client))
            return client;
    }
    return client;
}
