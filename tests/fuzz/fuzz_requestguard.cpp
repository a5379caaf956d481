// Any bytes from a client give one verdict; a complete head is consistent with itself and
// with the bytes it was read from.
#include "site/http/RequestGuard.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr qint64 MaxBody = 1000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView received(reinterpret_cast<const char *>(data), qsizetype(size));
    const RequestGuard::Result result = RequestGuard::read(received, MaxBody);
    if (result.verdict != RequestGuard::Verdict::Complete)
        return 0;
    const RequestGuard::Head &head = result.head;
    if (head.size <= 0 || head.size > received.size() || head.size > RequestGuard::MaxHeadBytes)
        std::abort();
    if (head.method.isEmpty() || !head.target.startsWith('/') || head.contentLength < 0
        || head.contentLength > MaxBody || (head.minorVersion != 0 && head.minorVersion != 1))
        std::abort();
    for (const auto &[name, value] : head.headers) {
        if (name.isEmpty() || name != name.toLower() || value.contains('\n') || value.contains('\r'))
            std::abort();
    }
    // What follows the head (a body, the next request) does not change how the head reads.
    const RequestGuard::Result alone = RequestGuard::read(received.first(head.size), MaxBody);
    if (alone.verdict != RequestGuard::Verdict::Complete || alone.head.size != head.size
        || alone.head.target != head.target || alone.head.headers != head.headers
        || alone.head.keepAlive != head.keepAlive || alone.head.contentLength != head.contentLength)
        std::abort();
    if (RequestGuard::read(received.first(head.size - 1), MaxBody).verdict == RequestGuard::Verdict::Complete)
        std::abort();
    return 0;
}
