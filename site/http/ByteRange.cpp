#include "site/http/ByteRange.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Site {

ByteRange::Version ByteRange::versionOf(qint64 size, const QDateTime &modified)
{
    const QDateTime utc = modified.toUTC();
    return {'"' + QByteArray::number(size, 16) + '-' + QByteArray::number(utc.toMSecsSinceEpoch(), 16) + '"',
            QLocale::c().toString(utc, u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s).toLatin1()};
}

ByteRange ByteRange::select(QByteArrayView range, QByteArrayView ifRange, qint64 size, const Version &version)
{
    const ByteRange whole{Kind::Whole, 0, size, size};
    // If-Range: the range only for the version the client already holds, else the whole file.
    const QByteArrayView validator = ifRange.trimmed();
    if (range.isEmpty() || (!ifRange.isEmpty() && validator != version.etag && validator != version.lastModified))
        return whole;

    static const QRegularExpression single(u"^\\s*bytes\\s*=\\s*(\\d*)\\s*-\\s*(\\d*)\\s*$"_s);
    const QRegularExpressionMatch match = single.match(QString::fromLatin1(range));
    if (!match.hasMatch() || (match.capturedLength(1) == 0 && match.capturedLength(2) == 0))
        return whole;
    const ByteRange unsatisfiable{Kind::Unsatisfiable, 0, 0, size};
    bool firstOk = true;
    bool lastOk = true;
    qint64 first = match.captured(1).toLongLong(&firstOk);
    qint64 last = match.captured(2).toLongLong(&lastOk);
    if (match.capturedLength(1) == 0) {
        // "bytes=-n": the last n bytes; the last 0 bytes are none at all.
        if (!lastOk)
            return whole;
        if (last == 0)
            return unsatisfiable;
        first = std::max<qint64>(size - last, 0);
        last = size - 1;
        firstOk = true;
    } else if (match.capturedLength(2) == 0 || !lastOk || last >= size) {
        last = size - 1;
    }
    if (!firstOk || last < first)
        return firstOk && first >= size ? unsatisfiable : whole;
    return {Kind::Span, first, last - first + 1, size};
}

QByteArray ByteRange::contentRange() const
{
    switch (kind) {
    case Kind::Span:
        return "bytes " + QByteArray::number(first) + '-' + QByteArray::number(first + length - 1) + '/'
            + QByteArray::number(size);
    case Kind::Unsatisfiable:
        return "bytes */" + QByteArray::number(size);
    case Kind::Whole:
        break;
    }
    return {};
}

}  // namespace Site
