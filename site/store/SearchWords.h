#pragma once

#include <QString>
#include <QStringList>

// The words the catalogue is searched by: each character and each pair of neighbouring
// characters of a resource's title, category and remark, letters folded as the database's
// LIKE folds them, marked with the first letter of the catalogue. Chinese has no spaces, so
// pairs stand in for words, as search engines index it without a dictionary. Hidden
// resources have none. A keyword of one or two characters is then found exactly by its one
// word; a longer one by rows holding all its pairs, which the substring match confirms.
//
// The database computes the words, for the rows and for a keyword alike, so that they fold
// exactly as its own LIKE does: SQLite keeps them in a full-text table (FTS5) its triggers
// fill, PostgreSQL in a GIN index of an expression, with the number of rows holding each
// word kept beside it.
class SearchWords
{
public:
    // The most pairs of a keyword looked up; the substring match checks the rest.
    static constexpr int MaxKeywordWords = 16;
    // Pairs are taken from this many first characters of a keyword only, so that a long
    // keyword costs no more to look up than a short one.
    static constexpr int MaxKeywordPositions = 64;

    // The schema statements of the index, with "{sqlite}" and "{postgresql}" before those of one database.
    static QStringList schema();

    // SQLite: a statement giving a keyword's full-text query and whether it is exact, for the
    // values: column filter ("title : ", or empty for any column), catalogue letter, keyword.
    static QString sqliteKeywordQuery();
    // PostgreSQL: a statement giving a keyword's words, one a row, then whether it is exact
    // on each row, for the value: keyword.
    static QString postgresKeywordWords();
    // PostgreSQL: the expression the index holds.
    static QString postgresRowWords();

private:
    static QString sqliteWords(const QString &row, const QString &column);
};
