#include "site/log/AccessLog.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

void appendQuoted(QByteArray &out, QByteArrayView text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    if (text.isEmpty()) {
        out += "\"-\"";
        return;
    }
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
            const char escaped[] = {'\\', 'x', Hex[byte >> 4], Hex[byte & 0xf]};
            out.append(escaped, sizeof escaped);
        } else {
            out += c;
        }
    }
    out += '"';
}

// "[08/Dec/2026:17:20:31 +0100]": English month names whatever the locale, the offset as +hhmm.
// Written by hand: QDateTime's own formatting goes through the locale, a cost on every request.
QByteArray timestamp(const QDateTime &at)
{
    // Requests come many to a second; the text of the last second is kept.
    thread_local qint64 lastSecond = -1;
    thread_local int lastOffset = 0;
    thread_local QByteArray lastText;
    const qint64 second = at.toSecsSinceEpoch();
    if (second == lastSecond && at.offsetFromUtc() == lastOffset)
        return lastText;

    static constexpr const char *Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = at.date();
    const QTime time = at.time();
    const int offset = at.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    char text[40];
    const int size = std::snprintf(text, sizeof text, "[%02d/%s/%04d:%02d:%02d:%02d %c%02d%02d]", date.day(),
                                   Months[date.month() - 1], date.year(), time.hour(), time.minute(), time.second(),
                                   offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    lastSecond = second;
    lastOffset = offset;
    lastText = QByteArray(text, size);
    return lastText;
}

}  // namespace

QByteArray AccessLog::line(const Entry &entry)
{
    bool mapped = false;
    const quint32 ipv4 = entry.peer.toIPv4Address(&mapped);
    const QByteArray address = (mapped ? QHostAddress(ipv4) : entry.peer).toString().toLatin1();
    QByteArray out;
    out.reserve(160 + entry.target.size() + entry.referrer.size() + entry.userAgent.size());
    out += address.isEmpty() ? "-"_ba : address;
    out += " - - ";
    out += timestamp(entry.receivedAt);
    out += ' ';
    appendQuoted(out, entry.method + ' ' + entry.target + " HTTP/1." + QByteArray::number(entry.minorVersion));
    out += ' ' + QByteArray::number(entry.status) + ' '
        + (entry.bodyBytes < 0 ? "-"_ba : QByteArray::number(entry.bodyBytes)) + ' ';
    appendQuoted(out, entry.referrer);
    out += ' ';
    appendQuoted(out, entry.userAgent);
    out += ' ' + QByteArray::number(entry.microseconds) + '\n';
    return out;
}

}  // namespace Site
