#pragma once

#include "common/Result.h"
#include "site/store/CataloguePage.h"
#include "site/store/SearchField.h"
#include "site/store/SiteResource.h"
#include "site/store/StoreError.h"

#include <QString>
#include <QVariantList>

namespace Site {

class StoreConnection;

// A keyword search of one catalogue through the index of its words (see SearchWords), with
// exactly the rows, order and count of the plain substring match: LIKE on SQLite, which folds
// ASCII letters only, ILIKE on PostgreSQL. '%', '_' and '\' in a keyword match themselves.
class CatalogueSearch
{
public:
    // A statement with its values, in order.
    struct Statement
    {
        QString text;
        QVariantList values;
    };

    CatalogueSearch(StoreConnection &connection, Catalogue catalogue, const QString &keyword, SearchField field);

    // Looks the keyword's words up; everything below needs it done.
    Result<void, StoreError> prepare();
    Result<qint64, StoreError> count() const;
    // The rows, as columns, of matches offset to offset + CataloguePage::Size, newest first, of
    // total matches among shown entries of the catalogue. A match common in the catalogue is
    // found by walking it newest first; a rare one through the index.
    Statement page(const QString &columns, qint64 offset, qint64 total, qint64 shown) const;

private:
    Statement words() const;
    Statement substring() const;
    QString sqliteTable() const;

    StoreConnection &m_connection;
    Catalogue m_catalogue;
    QString m_keyword;
    SearchField m_field;
    bool m_exact = false;
    bool m_runs = false;  // SQLite: found in the table of runs of three
    QString m_match;      // SQLite: the full-text query
    QStringList m_words;  // PostgreSQL: the words looked up
};

}  // namespace Site
