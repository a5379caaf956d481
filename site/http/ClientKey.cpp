#include "site/http/ClientKey.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace Site {

QHostAddress ClientKey::of(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4);
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memset(bytes.c + Ipv6PrefixLength / 8, 0, sizeof bytes - Ipv6PrefixLength / 8);
    return QHostAddress(bytes);
}

QHostAddress ClientKey::ofProxy(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : QHostAddress(address.toIPv6Address());
}

QString ClientKey::text(const QHostAddress &key)
{
    if (key.protocol() == QAbstractSocket::IPv6Protocol)
        return key.toString() + u'/' + QString::number(Ipv6PrefixLength);
    return key.toString();
}

}  // namespace Site
