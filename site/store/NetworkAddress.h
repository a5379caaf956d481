#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

namespace Site {

// The client addresses and networks the store keeps, compares and blocks.
class NetworkAddress
{
public:
    // "203.0.113.7" or "203.0.113.0/24" (IPv6 too) as "network/prefix" with the host bits
    // cleared; nothing for anything else.
    static std::optional<QString> normalNetwork(const QString &text);
    // An IPv4 client reached over an IPv6 socket is the IPv4 address it stands for.
    static QHostAddress plain(const QHostAddress &address);
    // Whether a stored address lies in a network given as parseSubnet reads it.
    static bool inNetwork(const QString &address, const std::pair<QHostAddress, int> &network);
};

}  // namespace Site
