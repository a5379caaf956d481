#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QString>
#include <QStringList>

namespace Site {
class SiteStore;
}

// Fills a store with as many uploads and messages as a large community gathers, quickly and
// as the site itself would have kept them: the rows go in through the schema's own triggers
// (counts, search words), each upload with its file's digest, all in one transaction.
// Titles are Chinese the way shared resources are named; CommonWord stands in about 12 % of
// them, RareWord in RareRows of them at every size, AbsentWord in none.
class GrowthFill
{
public:
    static const QString CommonWord;
    static const QString RareWord;
    static const QString AbsentWord;
    static constexpr int RareRows = 40;

    explicit GrowthFill(qint64 rows)
        : m_rows(rows)
    {
    }

    // Adds the rows to a store opened on a new site.
    Result<void, Site::StoreError> fill(Site::SiteStore &store) const;
    // Keywords of two to four characters as visitors type them, from titles, each different.
    QStringList distinctKeywords(int count) const;

private:
    struct Upload
    {
        QString category;
        QString title;
        QString remark;
        QString collectedAt;
        QString filePath;
        QString address;
        QString sha256;
    };
    struct Message
    {
        QString name;
        QString text;
        QString postedAt;
        QString address;
    };

    Upload upload(qint64 row) const;
    Message message(qint64 row) const;
    QString title(qint64 row) const;
    Result<void, Site::StoreError> fillSqlite(Site::SiteStore &store) const;
    Result<void, Site::StoreError> fillPostgres(Site::SiteStore &store) const;

    qint64 m_rows;
};
