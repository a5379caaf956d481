#include "site/log/AccessLog.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray quoted(const QByteArray &text)
{
    if (text.isEmpty())
        return "\"-\"";
    QByteArray out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\')
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

// "[08/Dec/2026:17:20:31 +0100]": English month names whatever the locale, the offset as +hhmm.
QByteArray timestamp(const QDateTime &at)
{
    const int offset = at.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const QByteArray zone = (offset < 0 ? "-" : "+") + QByteArray::number(minutes / 60).rightJustified(2, '0')
        + QByteArray::number(minutes % 60).rightJustified(2, '0');
    return '[' + at.toString(u"dd/MMM/yyyy:HH:mm:ss"_s).toLatin1() + ' ' + zone + ']';
}

} // namespace

QByteArray AccessLog::line(const Entry &entry)
{
    bool mapped = false;
    const quint32 ipv4 = entry.peer.toIPv4Address(&mapped);
    const QByteArray address = (mapped ? QHostAddress(ipv4) : entry.peer).toString().toLatin1();
    const QByteArray request = entry.method + ' ' + entry.target + " HTTP/1." + QByteArray::number(entry.minorVersion);
    return (address.isEmpty() ? "-" : address) + " - - " + timestamp(entry.receivedAt) + ' ' + quoted(request) + ' '
        + QByteArray::number(entry.status) + ' ' + QByteArray::number(entry.bodyBytes) + ' ' + quoted(entry.referrer)
        + ' ' + quoted(entry.userAgent) + ' ' + QByteArray::number(entry.microseconds) + '\n';
}
