#pragma once

#include "common/Result.h"

#include <QHostAddress>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace Site {

// Addresses and networks as a proxy writes them and an operator should: in full. Qt, like
// inet_aton, also reads "127.1" as 127.0.0.1, "0x7f.1" and "0177.0.0.1" likewise; an address
// that several spellings give is one a proxy never wrote and a reader cannot check.
class AddressText
{
public:
    // IPv4 as four decimal numbers of at most 255 without leading zeros; IPv6 as its text
    // form, without zone, brackets or port, an IPv4 tail written as above.
    static std::optional<QHostAddress> address(QStringView text);
    // "address/prefix": a prefix of at least 1 and at most the address's bits, and no bit of
    // the address set past it. The message says what is wrong.
    static Result<std::pair<QHostAddress, int>, QString> network(QStringView text);
};

}  // namespace Site
