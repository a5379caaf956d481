#include "site/http/RequestGuard.h"

#include <limits>

namespace {

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && !QByteArrayView("!#$%&'*+-.^_`|~").contains(c))
            return false;
    }
    return true;
}

// True when a comma-separated header value such as "keep-alive, Upgrade" lists the token.
bool listsToken(QByteArrayView value, QByteArrayView token)
{
    for (const QByteArray &item : value.toByteArray().split(','))
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Control characters other than tab have no place in a head; a stray CR or NUL could make
// the site and a proxy in front of it read the same bytes differently.
bool hasControl(QByteArrayView text)
{
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
            return true;
    return false;
}

} // namespace

QByteArray RequestGuard::Head::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers)
        if (key == name)
            return value;
    return {};
}

RequestGuard::Result RequestGuard::read(QByteArrayView received, qint64 maxBodyBytes)
{
    // The next line and where the one after it starts, or nothing while it is incomplete.
    qsizetype position = 0;
    const auto nextLine = [&](QByteArrayView &line) {
        const qsizetype end = received.indexOf('\n', position);
        if (end < 0)
            return false;
        line = received.sliced(position, end - position);
        if (line.endsWith('\r'))
            line.chop(1);
        position = end + 1;
        return true;
    };
    const auto incomplete = [&] {
        return Result{received.size() > MaxHeadBytes ? Verdict::HeadTooLarge : Verdict::Incomplete, {}};
    };

    QByteArrayView line;
    // Empty lines before a request (left over from the one before) do not count.
    do {
        if (!nextLine(line))
            return incomplete();
    } while (line.isEmpty());
    if (position > MaxHeadBytes)
        return {Verdict::HeadTooLarge, {}};

    Head head;
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace || hasControl(line))
        return {Verdict::BadRequest, {}};
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!isToken(method) || !target.startsWith('/') || target.contains(' '))
        return {Verdict::BadRequest, {}};
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[5] < '0' || version[5] > '9'
        || version[6] != '.' || version[7] < '0' || version[7] > '9')
        return {Verdict::BadRequest, {}};
    if (version[5] != '1' || version[7] > '1')
        return {Verdict::VersionNotSupported, {}};
    head.method = method.toByteArray();
    head.target = target.toByteArray();
    head.minorVersion = version[7] - '0';

    QList<QByteArrayView> lengths;
    bool chunked = false;
    QByteArrayView connection;
    for (;;) {
        if (!nextLine(line))
            return incomplete();
        if (position > MaxHeadBytes)
            return {Verdict::HeadTooLarge, {}};
        if (line.isEmpty())
            break;
        const qsizetype colon = line.indexOf(':');
        // A line folded onto the one before, a name with spaces around it, or no name at all.
        if (colon <= 0 || !isToken(line.first(colon)) || hasControl(line))
            return {Verdict::BadRequest, {}};
        const QByteArray name = line.first(colon).toByteArray().toLower();
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (name == "content-length")
            lengths.append(value);
        else if (name == "transfer-encoding")
            chunked = true;
        else if (name == "connection")
            connection = value;
        head.headers.append({name, value.toByteArray()});
    }
    head.size = position;

    if (chunked)
        return {Verdict::LengthRequired, {}};
    qint64 length = -1;
    for (const QByteArrayView text : lengths) {
        bool ok = text.size() <= 18 && !text.isEmpty();
        for (const char c : text)
            ok = ok && c >= '0' && c <= '9';
        // An unreadable length is as good as an endless one.
        const qint64 value = ok ? text.toLongLong() : std::numeric_limits<qint64>::max();
        if (value > maxBodyBytes)
            return {Verdict::BodyTooLarge, {}};
        // Two lengths that differ leave the end of the body open to interpretation.
        if (length >= 0 && value != length)
            return {Verdict::BadRequest, {}};
        length = value;
    }
    head.contentLength = std::max<qint64>(length, 0);
    head.keepAlive = head.minorVersion == 1 ? !listsToken(connection, "close") : listsToken(connection, "keep-alive");
    return {Verdict::Complete, head};
}
