#include "site/store/CatalogueSearch.h"

#include "site/store/CatalogueRows.h"
#include "site/store/SearchWords.h"
#include "site/store/SqlQuery.h"
#include "site/store/StoreConnection.h"

using namespace Qt::StringLiterals;

namespace Site {

namespace {

QStringList searchedColumns(SearchField field)
{
    switch (field) {
    case SearchField::Category:
        return {u"category"_s};
    case SearchField::Title:
        return {u"title"_s};
    case SearchField::Anywhere:
        break;
    }
    return {u"title"_s, u"category"_s, u"remark"_s};
}

}  // namespace

CatalogueSearch::CatalogueSearch(StoreConnection &connection, Catalogue catalogue, const QString &keyword,
                                 SearchField field)
    : m_connection(connection)
    , m_catalogue(catalogue)
    , m_keyword(keyword)
    , m_field(field)
{
}

Result<void, StoreError> CatalogueSearch::prepare()
{
    const QString catalogue = CatalogueRows::catalogueName(m_catalogue);
    if (!m_connection.dialect().isPostgres()) {
        // Counted as SQLite's length() counts: in characters, not in halves of a surrogate pair.
        m_runs = m_keyword.toUcs4().size() >= 3;
        // Not a null string, which would bind as NULL.
        const QString filter = m_field == SearchField::Anywhere ? u""_s : searchedColumns(m_field).first() + u" : "_s;
        auto query = m_runs
            ? SqlQuery::run(m_connection.database(), SearchWords::sqliteRunsQuery(catalogue, m_field),
                            {m_keyword, m_keyword})
            : SqlQuery::run(m_connection.database(), SearchWords::sqliteKeywordQuery(),
                            {filter, m_keyword, catalogue.first(1), m_keyword, m_keyword, m_keyword, m_keyword});
        if (!query)
            return Failure(query.error());
        if (!query->next())
            return Failure(StoreError{u"the keyword has no words"_s});
        m_match = query->value(0).toString();
        m_exact = query->value(1).toBool();
        return {};
    }
    auto query = SqlQuery::run(m_connection.database(), SearchWords::postgresKeywordWords(), {m_keyword});
    if (!query)
        return Failure(query.error());
    while (query->next()) {
        m_words.append(query->value(0).toString());
        m_exact = query->value(1).toBool();
    }
    return {};
}

QString CatalogueSearch::sqliteTable() const
{
    return m_runs ? u"resource_runs"_s : u"resource_words"_s;
}

// The rows that hold every word of the keyword, where it is searched.
CatalogueSearch::Statement CatalogueSearch::words() const
{
    if (!m_connection.dialect().isPostgres())
        return {u"id IN (SELECT rowid FROM %1 WHERE %1 MATCH ?)"_s.arg(sqliteTable()), {m_match}};
    const QString letter = CatalogueRows::catalogueName(m_catalogue).first(1);
    const QString rowWords = SearchWords::postgresRowWords();
    Statement statement;
    QStringList conditions;
    if (m_field == SearchField::Anywhere) {
        // A pair may be in any of the columns.
        for (const QString &word : m_words) {
            conditions.append(rowWords + u" && ARRAY[?, ?, ?]::TEXT[]"_s);
            statement.values += {letter + u't' + word, letter + u'c' + word, letter + u'r' + word};
        }
    } else {
        const QString field = m_field == SearchField::Title ? u"t"_s : u"c"_s;
        QStringList placeholders;
        for (const QString &word : m_words) {
            placeholders.append(u"?"_s);
            statement.values.append(letter + field + word);
        }
        conditions.append(rowWords + u" @> ARRAY["_s + placeholders.join(u", "_s) + u"]::TEXT[]"_s);
    }
    statement.text = conditions.join(u" AND "_s);
    return statement;
}

CatalogueSearch::Statement CatalogueSearch::substring() const
{
    const QStringList columns = searchedColumns(m_field);
    return {m_connection.dialect().matchAny(columns), QVariantList(columns.size(), SqlDialect::likePattern(m_keyword))};
}

Result<qint64, StoreError> CatalogueSearch::count() const
{
    Statement statement;
    if (m_exact && !m_connection.dialect().isPostgres()) {
        statement = {u"SELECT COUNT(*) FROM %1 WHERE %1 MATCH ?"_s.arg(sqliteTable()), {m_match}};
    } else if (m_exact) {
        const QString field = m_field == SearchField::Title ? u"t"_s
            : m_field == SearchField::Category              ? u"c"_s
                                                            : u"a"_s;
        statement = {u"SELECT COALESCE(MAX(shown), 0) FROM word_counts WHERE word = ?"_s,
                     {CatalogueRows::catalogueName(m_catalogue).first(1) + field + m_words.value(0)}};
    } else {
        const Statement found = words();
        statement = {u"SELECT COUNT(*) FROM resources WHERE "_s + found.text, found.values};
        if (!m_exact) {
            const Statement confirmed = substring();
            statement.text += u" AND "_s + confirmed.text;
            statement.values += confirmed.values;
        }
    }
    const auto counted = SqlQuery::single(m_connection.database(), statement.text, statement.values);
    if (!counted)
        return Failure(counted.error());
    return counted->toLongLong();
}

CatalogueSearch::Statement CatalogueSearch::page(const QString &columns, qint64 offset, qint64 total, qint64 shown) const
{
    const Statement confirmed = substring();
    const QString order = u" ORDER BY collected_at DESC, id DESC LIMIT ? OFFSET ?"_s;
    // Walking newest first passes about (offset + a page) * shown / total rows, each read in
    // order and matched; the index hands over all total matches, each read apart and then put
    // in order, which costs some eight times as much a row on either store. Either is the
    // substring match.
    if ((offset + CataloguePage::Size) * shown <= 8 * total * total) {
        return {u"SELECT "_s + columns + u" FROM resources WHERE catalogue = ? AND hidden = 0 AND "_s + confirmed.text
                    + order,
                QVariantList{CatalogueRows::catalogueName(m_catalogue)} + confirmed.values
                    + QVariantList{CataloguePage::Size, offset}};
    }
    Statement statement = words();
    statement.text = u"SELECT "_s + columns + u" FROM resources WHERE "_s + statement.text;
    if (!m_exact) {
        statement.text += u" AND "_s + confirmed.text;
        statement.values += confirmed.values;
    }
    statement.text += order;
    statement.values += {CataloguePage::Size, offset};
    return statement;
}

}  // namespace Site
