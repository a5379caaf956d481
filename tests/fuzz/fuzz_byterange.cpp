// Any Range and If-Range give a part that lies inside the file, and its Content-Range says so.
#include "site/http/ByteRange.h"

#include <QDateTime>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace Site;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Four bytes of file size, then the Range value, a line break and the If-Range value.
    if (size < 4)
        return 0;
    uint32_t fileSize = 0;
    std::memcpy(&fileSize, data, 4);
    const QByteArrayView rest(reinterpret_cast<const char *>(data) + 4, qsizetype(size) - 4);
    const qsizetype lineEnd = rest.indexOf('\n');
    const QByteArrayView range = lineEnd < 0 ? rest : rest.first(lineEnd);
    const QByteArrayView ifRange = lineEnd < 0 ? QByteArrayView() : rest.sliced(lineEnd + 1);

    const ByteRange::Version version = ByteRange::versionOf(fileSize, QDateTime::fromSecsSinceEpoch(1'700'000'000));
    const ByteRange part = ByteRange::select(range, ifRange, fileSize, version);
    if (part.size != fileSize)
        std::abort();
    switch (part.kind) {
    case ByteRange::Kind::Whole:
        if (part.first != 0 || part.length != fileSize || !part.contentRange().isEmpty())
            std::abort();
        break;
    case ByteRange::Kind::Span:
        if (part.first < 0 || part.length < 1 || part.first + part.length > fileSize
            || part.contentRange()
                != "bytes " + QByteArray::number(part.first) + '-' + QByteArray::number(part.first + part.length - 1)
                    + '/' + QByteArray::number(fileSize))
            std::abort();
        break;
    case ByteRange::Kind::Unsatisfiable:
        if (part.length != 0 || part.contentRange() != "bytes */" + QByteArray::number(fileSize))
            std::abort();
        break;
    }
    // Without a range, or for another version of the file, the whole file goes.
    if ((range.isEmpty()
         || (!ifRange.trimmed().isEmpty() && ifRange.trimmed() != version.etag
             && ifRange.trimmed() != version.lastModified))
        && part.kind != ByteRange::Kind::Whole)
        std::abort();
    return 0;
}
