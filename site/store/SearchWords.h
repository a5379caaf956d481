#pragma once

#include "site/store/SearchField.h"

#include <QString>
#include <QStringList>

namespace Site {

// The words the catalogue is searched by: each character and each run of two neighbouring
// characters (on PostgreSQL, of three too) of a resource's title, category and remark, letters
// folded as the database's LIKE folds them, marked with the first letter of the catalogue.
// Chinese has no spaces, so these runs stand in for words, as search engines index it
// without a dictionary. Hidden resources have none. A keyword as short as the longest word is
// then found exactly by its one word; a longer one by rows holding all its words, which the
// substring match confirms.
//
// The database computes the words, for the rows and for a keyword alike, so that they fold
// exactly as its own LIKE does: SQLite keeps them in a full-text table (FTS5) its triggers
// fill, PostgreSQL in a GIN index of an expression, with the number of rows holding each
// word kept beside it. SQLite finds a keyword of three characters or more in a second table,
// of every run of three with its position (FTS5's trigram tokenizer), where the runs of the
// keyword side by side are its substring match itself, so that no row needs confirming.
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
    // Those of a later step: SQLite's table of runs of three, PostgreSQL's words of three.
    static QStringList runsOfThree();

    // SQLite: a statement giving a keyword's full-text query and whether it is exact, for the
    // values: column filter ("title : ", or empty for any column), catalogue letter, keyword.
    static QString sqliteKeywordQuery();
    // SQLite: a statement giving the full-text query of a keyword of three characters or more
    // in the table of runs, and whether it is exact, for the values: keyword, keyword.
    static QString sqliteRunsQuery(const QString &catalogue, SearchField field);
    // PostgreSQL: a statement giving a keyword's words, one a row, then whether it is exact
    // on each row, for the value: keyword.
    static QString postgresKeywordWords();
    // PostgreSQL: the expression the index holds.
    static QString postgresRowWords();

private:
    static QString sqliteWords(const QString &row, const QString &column);
    static QString sqliteRuns(const QString &row, const QString &catalogue);
    static QString postgresWordsFunction(const QString &create, int longest);
    static QString postgresCountWords();
};

}  // namespace Site
