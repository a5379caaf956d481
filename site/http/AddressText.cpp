#include "site/http/AddressText.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

bool isFullIpv4(QStringView text)
{
    static const QRegularExpression dotted(u"^(?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\\.){3}"
                                           "(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])$"_s);
    return dotted.match(text).hasMatch();
}

}  // namespace

std::optional<QHostAddress> AddressText::address(QStringView text)
{
    static const QRegularExpression ipv6(u"^[0-9A-Fa-f:]*:[0-9A-Fa-f:]*(?::([0-9.]+))?$"_s);
    if (isFullIpv4(text))
        return QHostAddress(text.toString());
    const QRegularExpressionMatch match = ipv6.match(text);
    if (!match.hasMatch() || (match.hasCaptured(1) && !isFullIpv4(match.capturedView(1))))
        return std::nullopt;
    const QHostAddress address(text.toString());
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    return address;
}

Result<std::pair<QHostAddress, int>, QString> AddressText::network(QStringView text)
{
    const qsizetype slash = text.indexOf(u'/');
    const std::optional<QHostAddress> base = address(text.first(slash < 0 ? text.size() : slash));
    static const QRegularExpression decimal(u"^[1-9][0-9]{0,2}$"_s);
    const QStringView prefixText = slash < 0 ? QStringView() : text.sliced(slash + 1);
    if (!base || (prefixText != u"0" && !decimal.match(prefixText).hasMatch()))
        return Failure(u"not an address or a network: %1"_s.arg(text));
    const int bits = base->protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    const int prefix = prefixText.toInt();
    if (prefix == 0)
        return Failure(u"a network of prefix 0 takes in every address: %1"_s.arg(text));
    if (prefix > bits)
        return Failure(u"not an address or a network: %1"_s.arg(text));
    const QHostAddress cleared = QHostAddress::parseSubnet(base->toString() + u'/' + QString::number(prefix)).first;
    if (cleared != *base)
        return Failure(u"%1 has bits set past its prefix: did you mean %2/%3?"_s.arg(text, cleared.toString(),
                                                                                     QString::number(prefix)));
    return std::pair{*base, prefix};
}

}  // namespace Site
