#include "site/PageCache.h"

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
    m_pages.insert(key, new QByteArray(body), key.size() + body.size());
}
