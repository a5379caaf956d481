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
    // Built by appending, either may hold up to twice its size; what is kept holds no more.
    QByteArray keptKey = key;
    keptKey.squeeze();
    auto *keptBody = new QByteArray(body);
    keptBody->squeeze();
    m_pages.insert(keptKey, keptBody, keptKey.size() + keptBody->size());
}
