#include "site/cache/CatalogueCache.h"

#include "site/store/SiteStore.h"

namespace Site {

CatalogueCache::CatalogueCache(SiteStore &store)
    : m_store(store)
{
}

Result<void, StoreError> CatalogueCache::follow()
{
    if (m_sinceRevision.isValid() && m_sinceRevision.elapsed() < RevisionMs)
        return {};
    const auto revision = m_store.revision();
    if (!revision)
        return Failure(revision.error());
    m_sinceRevision.start();
    if (*revision != m_revision) {
        forget();
        m_revision = *revision;
    }
    return {};
}

void CatalogueCache::forget()
{
    m_pages.clear();
    m_categories.reset();
    ++m_generation;
}

void CatalogueCache::keepPage(qint64 generation, const QByteArray &key, const QByteArray &body)
{
    if (generation == m_generation)
        m_pages.insert(key, body);
}

void CatalogueCache::keepCategories(qint64 generation, const QStringList &categories)
{
    if (generation == m_generation)
        m_categories = categories;
}

}  // namespace Site
