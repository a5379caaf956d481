#include "site/store/NetworkAddress.h"

using namespace Qt::StringLiterals;

namespace Site {

std::optional<QString> NetworkAddress::normalNetwork(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QString addressPart = trimmed.section(u'/', 0, 0);
    // Qt would read "10.1" as 10.0.0.1 and "10/8" as a network; an operator means neither.
    if (!addressPart.contains(u':') && addressPart.count(u'.') != 3)
        return std::nullopt;
    if (!trimmed.contains(u'/')) {
        const QHostAddress address = plain(QHostAddress(trimmed));
        if (address.isNull())
            return std::nullopt;
        const int bits = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        return address.toString() + u'/' + QString::number(bits);
    }
    const auto [network, prefix] = QHostAddress::parseSubnet(trimmed);
    if (network.isNull() || prefix < 0)
        return std::nullopt;
    return network.toString() + u'/' + QString::number(prefix);
}

QHostAddress NetworkAddress::plain(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 ipv4 = address.protocol() == QAbstractSocket::IPv6Protocol ? address.toIPv4Address(&mapped) : 0;
    return mapped ? QHostAddress(ipv4) : address;
}

bool NetworkAddress::inNetwork(const QString &address, const std::pair<QHostAddress, int> &network)
{
    return plain(QHostAddress(address)).isInSubnet(network);
}

}  // namespace Site
