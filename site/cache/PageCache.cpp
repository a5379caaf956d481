#include "site/cache/PageCache.h"

#include <algorithm>

namespace Site {

namespace {

// What the heap gives a QByteArray of this size: its header, the bytes and their NUL, in
// glibc's chunks of 16 bytes with 8 of their own, at least 32.
qsizetype heapBytes(qsizetype size)
{
    constexpr qsizetype Header = 16;
    constexpr qsizetype ChunkOverhead = 8;
    return std::max<qsizetype>(32, (Header + size + 1 + ChunkOverhead + 15) / 16 * 16);
}

// An entry's own share besides its two arrays: the hash node with its key and links, the body's
// QByteArray, and the hash's table around them. Measured at about 110 bytes with Qt 6.4.
constexpr qsizetype EntryBytes = 128;

}  // namespace

PageCache::PageCache(qsizetype maxBytes)
    : m_pages(maxBytes)
{
}

std::optional<QByteArray> PageCache::find(const QByteArray &key)
{
    // QCache moves what is asked for to the front, so eviction takes the least recently used.
    if (const QByteArray *body = m_pages.object(key))
        return *body;
    return std::nullopt;
}

void PageCache::insert(const QByteArray &key, const QByteArray &body)
{
    // Built by appending, either may hold up to twice its size; what is kept holds no more.
    QByteArray keptKey = key;
    keptKey.squeeze();
    auto *keptBody = new QByteArray(body);
    keptBody->squeeze();
    m_pages.insert(keptKey, keptBody, heapBytes(keptKey.size()) + heapBytes(keptBody->size()) + EntryBytes);
}

}  // namespace Site
