#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QDateTime;

namespace Site {

// What part of a file an answer carries, from the request's Range and If-Range: the whole
// file, one span of it (206 with Content-Range), or nothing when the range starts past the
// end (416). Several ranges, or a value that is not a byte range, get the whole file; so does
// an If-Range naming another version than the one on disk.
struct ByteRange
{
    enum class Kind { Whole, Span, Unsatisfiable };

    // The validators of one version of a file: size and time both go into the tag, so a file
    // replaced under the same name gets another.
    struct Version
    {
        QByteArray etag;
        QByteArray lastModified;  // an HTTP date
    };
    static Version versionOf(qint64 size, const QDateTime &modified);

    static ByteRange select(QByteArrayView range, QByteArrayView ifRange, qint64 size, const Version &version);

    // "bytes <first>-<last>/<size>" for a span, "bytes */<size>" when unsatisfiable, else empty.
    QByteArray contentRange() const;

    Kind kind = Kind::Whole;
    qint64 first = 0;
    qint64 length = 0;  // bytes sent: the whole size, the span's, or 0
    qint64 size = 0;    // of the whole file
};

}  // namespace Site
