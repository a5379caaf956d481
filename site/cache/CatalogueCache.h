#pragma once

#include "common/Result.h"
#include "site/cache/PageCache.h"
#include "site/store/StoreError.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringList>

#include <optional>

namespace Site {

class SiteStore;

// What the site keeps of its catalogues between changes, on the HTTP thread: rendered
// catalogue answers by query and the user catalogue's categories. Emptied when a catalogue
// changes, here or, as the store's revision tells, in another process. Queries run elsewhere
// and come back late: what was read before a change is not kept after it, as the generation
// it was asked in tells. A cached page asks the store nothing: the revision is read at most
// once in a few milliseconds, whatever the number of requests (on a shared database it costs
// no query at all, as the other processes' notifications are counted as they come).
class CatalogueCache
{
public:
    // The revision is read from store, the connection on this thread.
    explicit CatalogueCache(SiteStore &store);

    // How long a revision read is taken as current: another process's change shows on the
    // first request after it.
    static constexpr int RevisionMs = 5;

    // Forgets everything when another process changed the catalogue since the revision was
    // last read.
    Result<void, StoreError> follow();
    // The catalogue changed here.
    void forget();
    // Counts the changes; a query asked in one generation keeps its answer only in the same.
    qint64 generation() const { return m_generation; }

    std::optional<QByteArray> page(const QByteArray &key) { return m_pages.find(key); }
    void keepPage(qint64 generation, const QByteArray &key, const QByteArray &body);
    const std::optional<QStringList> &categories() const { return m_categories; }
    void keepCategories(qint64 generation, const QStringList &categories);

private:
    SiteStore &m_store;
    PageCache m_pages;
    std::optional<QStringList> m_categories;
    qint64 m_generation = 0;
    qint64 m_revision = -1;
    QElapsedTimer m_sinceRevision;  // not started until the revision is first read
};

}  // namespace Site
