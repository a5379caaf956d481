#include "site/store/SearchWords.h"

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// One row per character of text: json_each walks an array of as many zeros. SQLite allows no
// WITH in a trigger, so no recursive query can count instead.
QString sqlitePositions(const QString &length)
{
    return u"json_each('[' || replace(hex(zeroblob(%1)), '00', '0,') || '0]')"_s.arg(length);
}

}  // namespace

QString SearchWords::sqliteWords(const QString &row, const QString &column)
{
    const QString text = row + u'.' + column;
    return u"(SELECT group_concat(word, ' ') FROM (SELECT DISTINCT substr(%1.catalogue, 1, 1)"
           " || hex(substr(lower(%2), key + 1, sizes.size)) AS word FROM %3, (SELECT 1 AS size UNION ALL SELECT 2)"
           " AS sizes WHERE key < length(%2)))"_s.arg(row, text, sqlitePositions(u"length(%1)"_s.arg(text)));
}

QStringList SearchWords::schema()
{
    const auto words = [](const QString &row) {
        return sqliteWords(row, u"title"_s) + u", "_s + sqliteWords(row, u"category"_s) + u", "_s
            + sqliteWords(row, u"remark"_s);
    };
    return {
        // Holds no copy of the text, only which rows and columns hold each word.
        u"{sqlite}CREATE VIRTUAL TABLE resource_words USING fts5 (title, category, remark, content = '',"
        " tokenize = 'ascii', detail = column)"_s,
        u"{sqlite}INSERT INTO resource_words (rowid, title, category, remark) SELECT id, %1 FROM resources"
        " WHERE hidden = 0"_s.arg(words(u"resources"_s)),
        u"{sqlite}CREATE TRIGGER resource_words_added AFTER INSERT ON resources WHEN new.hidden = 0 BEGIN"
        " INSERT INTO resource_words (rowid, title, category, remark) VALUES (new.id, %1); END"_s.arg(words(u"new"_s)),
        // A table without content forgets a row only when told the words it had.
        u"{sqlite}CREATE TRIGGER resource_words_removed AFTER DELETE ON resources WHEN old.hidden = 0 BEGIN"
        " INSERT INTO resource_words (resource_words, rowid, title, category, remark)"
        " VALUES ('delete', old.id, %1); END"_s.arg(words(u"old"_s)),
        u"{sqlite}CREATE TRIGGER resource_words_changed AFTER UPDATE OF id, catalogue, title, category, remark, hidden"
        " ON resources BEGIN"
        " INSERT INTO resource_words (resource_words, rowid, title, category, remark)"
        " SELECT 'delete', old.id, %1 WHERE old.hidden = 0;"
        " INSERT INTO resource_words (rowid, title, category, remark) SELECT new.id, %2 WHERE new.hidden = 0;"
        " END"_s.arg(words(u"old"_s), words(u"new"_s)),
        postgresWordsFunction(u"CREATE"_s, 2),
        u"{postgresql}CREATE INDEX resources_by_words ON resources USING gin (%1)"_s.arg(postgresRowWords()),
        // Counting a common word's rows through the index would visit every one of them, so
        // the rows holding each word of one or two characters are counted as they change:
        // for the title (t), the category (c) and any column (a).
        u"{postgresql}CREATE FUNCTION quillmere_counted_words(words TEXT[]) RETURNS SETOF TEXT LANGUAGE sql"
        " IMMUTABLE PARALLEL SAFE AS $$ SELECT word FROM unnest(words) AS word WHERE substr(word, 2, 1) <> 'r'"
        " UNION SELECT left(word, 1) || 'a' || substr(word, 3) FROM unnest(words) AS word $$"_s,
        u"{postgresql}CREATE TABLE word_counts (word TEXT PRIMARY KEY, shown BIGINT NOT NULL)"_s,
        postgresCountWords(),
        // One statement, its words in order, so that processes counting at once take the
        // rows' locks in the same order and never wait for each other in a ring.
        u"{postgresql}CREATE FUNCTION quillmere_count_words() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
        " IF TG_OP = 'INSERT' THEN"
        "  INSERT INTO word_counts (word, shown) SELECT word, COUNT(*) FROM new_rows, quillmere_counted_words(%1)"
        "  AS word GROUP BY word ORDER BY word ON CONFLICT (word) DO UPDATE SET shown = word_counts.shown + excluded.shown;"
        " ELSIF TG_OP = 'DELETE' THEN"
        "  INSERT INTO word_counts (word, shown) SELECT word, -COUNT(*) FROM old_rows, quillmere_counted_words(%1)"
        "  AS word GROUP BY word ORDER BY word ON CONFLICT (word) DO UPDATE SET shown = word_counts.shown + excluded.shown;"
        " ELSE"
        "  INSERT INTO word_counts (word, shown) SELECT word, SUM(change) FROM ("
        "   SELECT word, -1 AS change FROM old_rows, quillmere_counted_words(%1) AS word"
        "   UNION ALL SELECT word, 1 FROM new_rows, quillmere_counted_words(%1) AS word) AS changes"
        "  GROUP BY word HAVING SUM(change) <> 0 ORDER BY word"
        "  ON CONFLICT (word) DO UPDATE SET shown = word_counts.shown + excluded.shown;"
        " END IF; RETURN NULL; END $$"_s.arg(postgresRowWords()),
        u"{postgresql}CREATE TRIGGER resource_words_added AFTER INSERT ON resources REFERENCING NEW TABLE AS new_rows"
        " FOR EACH STATEMENT EXECUTE FUNCTION quillmere_count_words()"_s,
        u"{postgresql}CREATE TRIGGER resource_words_removed AFTER DELETE ON resources REFERENCING OLD TABLE AS old_rows"
        " FOR EACH STATEMENT EXECUTE FUNCTION quillmere_count_words()"_s,
        u"{postgresql}CREATE TRIGGER resource_words_changed AFTER UPDATE ON resources REFERENCING OLD TABLE AS old_rows"
        " NEW TABLE AS new_rows FOR EACH STATEMENT EXECUTE FUNCTION quillmere_count_words()"_s,
    };
}

// The cost tells the planner that reading the index beats working the words out row by row.
QString SearchWords::postgresWordsFunction(const QString &create, int longest)
{
    QStringList sizes;
    for (int size = 1; size <= longest; ++size)
        sizes.append(u"(%1)"_s.arg(size));
    return u"{postgresql}%1 FUNCTION quillmere_words(catalogue TEXT, hidden INTEGER, title TEXT, category TEXT,"
           " remark TEXT) RETURNS TEXT[] LANGUAGE sql IMMUTABLE PARALLEL SAFE COST 10000 AS $$"
           " SELECT CASE WHEN hidden <> 0 THEN '{}'::TEXT[] ELSE ARRAY("
           "  SELECT DISTINCT left(catalogue, 1) || field || substr(folded, position, size)"
           "  FROM (VALUES ('t', lower(title)), ('c', lower(category)), ('r', lower(remark))) AS columns (field, folded),"
           "  generate_series(1, length(folded)) AS position, (VALUES %2) AS sizes (size)) END $$"_s.arg(
               create, sizes.join(u", "_s));
}

QString SearchWords::postgresCountWords()
{
    return u"{postgresql}INSERT INTO word_counts (word, shown) SELECT word, COUNT(*) FROM resources,"
           " quillmere_counted_words(%1) AS word GROUP BY word"_s.arg(postgresRowWords());
}

QString SearchWords::sqliteRuns(const QString &row, const QString &catalogue)
{
    QStringList columns;
    for (const QString &column : {u"title"_s, u"category"_s, u"remark"_s})
        columns.append(u"CASE WHEN %1.catalogue = '%2' THEN lower(%1.%3) END"_s.arg(row, catalogue, column));
    return columns.join(u", "_s);
}

QStringList SearchWords::runsOfThree()
{
    const auto runs = [](const QString &row) {
        return sqliteRuns(row, u"user"_s) + u", "_s + sqliteRuns(row, u"official"_s);
    };
    const QString columns = u"user_title, user_category, user_remark, official_title, official_category, official_remark"_s;
    return {
        // Positions kept (detail full), so that a keyword's runs side by side are exactly its
        // substring; the text goes in folded as LIKE folds it, and is not kept.
        u"{sqlite}CREATE VIRTUAL TABLE resource_runs USING fts5 (%1, content = '',"
        " tokenize = 'trigram case_sensitive 1')"_s.arg(columns),
        u"{sqlite}INSERT INTO resource_runs (rowid, %1) SELECT id, %2 FROM resources WHERE hidden = 0"_s.arg(
            columns, runs(u"resources"_s)),
        u"{sqlite}CREATE TRIGGER resource_runs_added AFTER INSERT ON resources WHEN new.hidden = 0 BEGIN"
        " INSERT INTO resource_runs (rowid, %1) VALUES (new.id, %2); END"_s.arg(columns, runs(u"new"_s)),
        u"{sqlite}CREATE TRIGGER resource_runs_removed AFTER DELETE ON resources WHEN old.hidden = 0 BEGIN"
        " INSERT INTO resource_runs (resource_runs, rowid, %1) VALUES ('delete', old.id, %2); END"_s.arg(columns,
                                                                                                         runs(u"old"_s)),
        u"{sqlite}CREATE TRIGGER resource_runs_changed AFTER UPDATE OF id, catalogue, title, category, remark, hidden"
        " ON resources BEGIN"
        " INSERT INTO resource_runs (resource_runs, rowid, %1) SELECT 'delete', old.id, %2 WHERE old.hidden = 0;"
        " INSERT INTO resource_runs (rowid, %1) SELECT new.id, %3 WHERE new.hidden = 0;"
        " END"_s.arg(columns, runs(u"old"_s), runs(u"new"_s)),
        // The words grow to three characters, so that a keyword of three is found exactly by
        // one, and counted without reading its rows.
        postgresWordsFunction(u"CREATE OR REPLACE"_s, 3),
        u"{postgresql}REINDEX INDEX resources_by_words"_s,
        u"{postgresql}DELETE FROM word_counts"_s,
        postgresCountWords(),
    };
}

QString SearchWords::sqliteRunsQuery(const QString &catalogue, SearchField field)
{
    // The trigram tokenizer finds the runs of a quoted phrase side by side.
    QStringList columns;
    if (field != SearchField::Category)
        columns.append(catalogue + u"_title"_s);
    if (field != SearchField::Title)
        columns.append(catalogue + u"_category"_s);
    if (field == SearchField::Anywhere)
        columns.append(catalogue + u"_remark"_s);
    return u"SELECT '{%1} : \"' || replace(lower(substr(?, 1, %2)), '\"', '\"\"') || '\"', length(?) <= %2"_s.arg(
        columns.join(u' '), QString::number(MaxKeywordPositions));
}

QString SearchWords::sqliteKeywordQuery()
{
    const QString positions = u"min(max(length(?) - 1, 1), %1)"_s.arg(MaxKeywordPositions);
    return u"SELECT group_concat(? || word, ' '), length(?) <= 2 FROM (SELECT DISTINCT ?"
           " || hex(substr(lower(?), key + 1, min(length(?), 2))) AS word FROM %1 WHERE key < %2 LIMIT %3)"_s.arg(
               sqlitePositions(positions), positions, QString::number(MaxKeywordWords));
}

QString SearchWords::postgresKeywordWords()
{
    return u"SELECT DISTINCT substr(folded, position, LEAST(length(folded), 3)), length(folded) <= 3"
           " FROM (SELECT lower(?::TEXT) AS folded) AS keyword,"
           " generate_series(1, LEAST(GREATEST(length(folded) - 2, 1), %1)) AS position LIMIT %2"_s.arg(
               QString::number(MaxKeywordPositions), QString::number(MaxKeywordWords));
}

QString SearchWords::postgresRowWords()
{
    return u"quillmere_words(catalogue, hidden, title, category, remark)"_s;
}

}  // namespace Site
