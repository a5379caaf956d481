#pragma once

#include <QByteArray>
#include <QCache>

#include <optional>

namespace Site {

// Rendered answers by key, at most a given number of bytes of memory, keys, bodies and the
// cache's own share of each entry together (small answers cost more in bookkeeping than in
// bytes, so counting bytes alone would let a flood of them take many times the bound). Past
// that the least recently used go first: the pages everyone asks for (the first pages of the
// catalogues) stay, while a flood of one-off queries only pushes out its own kind.
class PageCache
{
public:
    static constexpr qsizetype DefaultMaxBytes = 64 * 1024 * 1024;

    explicit PageCache(qsizetype maxBytes = DefaultMaxBytes);

    std::optional<QByteArray> find(const QByteArray &key);
    // A body larger than the whole bound is not kept.
    void insert(const QByteArray &key, const QByteArray &body);
    void clear() { m_pages.clear(); }
    qsizetype bytes() const { return m_pages.totalCost(); }

private:
    QCache<QByteArray, QByteArray> m_pages;
};

}  // namespace Site
