#include "support/HttpClient.h"
#include "support/ReferenceSite.h"
#include "support/SiteDatabase.h"

#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString Board = u"nds_wd-nds_wd.html"_s;
const QByteArray FormType = "application/x-www-form-urlencoded";

struct Shown
{
    QString name;
    QString text;

    friend bool operator==(const Shown &, const Shown &) = default;
};

QByteArray encoded(const QString &name, const QString &text)
{
    QUrlQuery query;
    query.addQueryItem(u"name"_s, QString::fromLatin1(QUrl::toPercentEncoding(name)));
    query.addQueryItem(u"text"_s, QString::fromLatin1(QUrl::toPercentEncoding(text)));
    return query.query(QUrl::FullyEncoded).toLatin1();
}

// The messages of a board page in the order shown, their text as the page's markup has it.
QList<Shown> messagesOn(const QString &html)
{
    static const QRegularExpression item(
        u"<li><div class=\"who\"><b>(.*?)</b><span class=\"when\">[^<]*</span></div><div class=\"text\">(.*?)</div></li>"_s,
        QRegularExpression::DotMatchesEverythingOption);
    QList<Shown> shown;
    for (auto it = item.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        shown.append({match.captured(1), match.captured(2)});
    }
    return shown;
}

}  // namespace

namespace QTest {
template<> char *toString(const Shown &shown)
{
    return qstrdup(qPrintable(shown.name + u": "_s + shown.text));
}
}  // namespace QTest

// The message board of the reference site.
class TstMessageBoard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyBoardInvitesAFirstMessage();
    void postLeadsToTheBoardAndListsNewestFirst();
    void markupIsShownAsText_data();
    void markupIsShownAsText();
    void limits_data();
    void limits();
    void pagesThroughOlderMessages();
    void messagesSurviveARestart();
    void olderDatabaseGainsTheBoard();

private:
    HttpClient::Reply post(const QString &name, const QString &text);
    QString board(const QString &query = QString());

    std::unique_ptr<ReferenceSite> m_site;
    HttpClient m_http;
};

void TstMessageBoard::init()
{
    m_site = std::make_unique<ReferenceSite>();
    QVERIFY2(m_site->start(), qPrintable(m_site->errorString()));
}

void TstMessageBoard::cleanup()
{
    m_site.reset();
}

HttpClient::Reply TstMessageBoard::post(const QString &name, const QString &text)
{
    return m_http.post(m_site->root() + Board, FormType, encoded(name, text));
}

QString TstMessageBoard::board(const QString &query)
{
    const HttpClient::Reply reply = m_http.get(m_site->root() + Board + query);
    return reply.status == 200 && reply.header("Content-Type") == "text/html; charset=utf-8" ? reply.text() : QString();
}

void TstMessageBoard::emptyBoardInvitesAFirstMessage()
{
    const QString html = board();
    QVERIFY(html.contains(u"共 0 条"_s));
    QVERIFY(html.contains(u"还没有留言"_s));
    QVERIFY(html.contains(u"<form class=\"post\" method=\"post\""_s));
}

void TstMessageBoard::postLeadsToTheBoardAndListsNewestFirst()
{
    const QList<Shown> posted = {
        {u"小明"_s, u"第一条"_s}, {u"Li Lei"_s, u"second, with + and &"_s}, {u"小红"_s, u"第三条\n换行也留着"_s}};
    for (const Shown &message : posted) {
        const HttpClient::Reply reply = post(message.name, message.text);
        // Loading the answer again must not post again, so it is a redirect to the board.
        QCOMPARE(reply.status, 303);
        QCOMPARE(reply.header("Location"), (m_site->root() + Board + u"?posted=1"_s).toUtf8());
    }
    const QString html = board(u"?posted=1"_s);
    QVERIFY(html.contains(u"留言成功"_s));
    QVERIFY(html.contains(u"共 3 条"_s));
    QList<Shown> expected;
    for (const Shown &message : posted)
        expected.prepend({message.name.toHtmlEscaped(), message.text.toHtmlEscaped()});
    QCOMPARE(messagesOn(html), expected);
    QVERIFY(!board().contains(u"留言成功"_s));
}

void TstMessageBoard::markupIsShownAsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("script") << u"<script>x</script>"_s << u"<script>alert(document.cookie)</script>"_s;
    QTest::newRow("image with handler") << u"<img src=x>"_s << u"<img src=x onerror=alert(1)>"_s;
    QTest::newRow("closing the markup around it") << u"</b></div>"_s << u"</div></li></ol><h1>假公告</h1>"_s;
    QTest::newRow("quotes and entities") << u"\"引号\" 'single'"_s << u"&lt;已转义&gt; & \"x\" onclick=\"y\""_s;
}

void TstMessageBoard::markupIsShownAsText()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(post(name, text).status, 303);
    const QString html = board();
    QCOMPARE(messagesOn(html), QList<Shown>({{name.toHtmlEscaped(), text.toHtmlEscaped()}}));
    for (const QString &markup : {u"<script>alert"_s, u"<img"_s, u"<h1>"_s, u"onclick=\"y\""_s})
        QVERIFY2(!html.contains(markup), qPrintable(markup));
}

void TstMessageBoard::limits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal");  // empty: the message is taken
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("shownText");

    const QString name20 = QString(20, u'名');
    const QString text500 = QString(500, u'字');
    QTest::newRow("longest name and text") << name20 << text500 << QString() << name20 << text500;
    QTest::newRow("name too long") << name20 + u'x' << u"hi"_s << u"昵称不能超过 20 个字"_s << QString() << QString();
    QTest::newRow("text too long") << u"a"_s << text500 + u'x' << u"留言不能超过 500 个字"_s << QString() << QString();
    QTest::newRow("no name") << u"  \t "_s << u"hi"_s << u"请填写昵称"_s << QString() << QString();
    QTest::newRow("no text") << u"a"_s << u" \r\n "_s << u"请填写留言内容"_s << QString() << QString();
    QTest::newRow("tidied") << u"  两个   空格 \n"_s << u"\r\n 行一\r\n行二\r行三\x01 \n"_s << QString()
                            << u"两个 空格"_s << u"行一\n行二\n行三"_s;
    // A line break counts once, as it does in the browser's text box: 601 characters sent, 401 kept.
    QTest::newRow("line breaks count once")
        << u"a"_s << u"字\r\n"_s.repeated(200) + u'字' << QString() << u"a"_s << u"字\n"_s.repeated(200) + u'字';
}

void TstMessageBoard::limits()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    QFETCH(QString, shownName);
    QFETCH(QString, shownText);

    const HttpClient::Reply reply = post(name, text);
    if (refusal.isEmpty()) {
        QCOMPARE(reply.status, 303);
        QCOMPARE(messagesOn(board()), QList<Shown>({{shownName, shownText}}));
        return;
    }
    QCOMPARE(reply.status, 400);
    const QString html = reply.text();
    QVERIFY2(html.contains(u"<p class=\"error\">"_s + refusal), qPrintable(html.right(1500)));
    // What was written comes back for another try; nothing was stored.
    QVERIFY(html.contains(u">"_s + text.trimmed().toHtmlEscaped() + u"</textarea>"_s) || text.trimmed().isEmpty());
    QVERIFY(board().contains(u"共 0 条"_s));
}

void TstMessageBoard::pagesThroughOlderMessages()
{
    for (int i = 1; i <= 23; ++i)
        QCOMPARE(post(u"n"_s, u"message %1"_s.arg(i)).status, 303);

    QStringList seen;
    for (int page = 1; page <= 3; ++page) {
        const QString html = board(u"?page=%1"_s.arg(page));
        QVERIFY(html.contains(u"第 %1 / 3 页"_s.arg(page)));
        QCOMPARE(html.contains(u"较新的留言"_s), page > 1);
        QCOMPARE(html.contains(u"较早的留言"_s), page < 3);
        for (const Shown &message : messagesOn(html))
            seen.append(message.text);
    }
    QStringList expected;
    for (int i = 23; i >= 1; --i)
        expected.append(u"message %1"_s.arg(i));
    QCOMPARE(seen, expected);
    QCOMPARE(messagesOn(board(u"?page=abc"_s)).first().text, u"message 23"_s);
}

void TstMessageBoard::messagesSurviveARestart()
{
    QCOMPARE(post(u"老王"_s, u"重启之后还在吗？"_s).status, 303);
    m_site->stop();
    QVERIFY2(m_site->start(), qPrintable(m_site->errorString()));
    QCOMPARE(messagesOn(board()), QList<Shown>({{u"老王"_s, u"重启之后还在吗？"_s}}));
}

// A site whose database was made before the message board existed gains it on its next start,
// keeping its catalogues.
void TstMessageBoard::olderDatabaseGainsTheBoard()
{
    const QByteArray catalogue = m_http.get(m_site->root() + u"wangyou/users_upload.php?page=1"_s).body;
    m_site->stop();
    // Back to the first schema: the catalogues alone.
    const QStringList later = {u"DROP TRIGGER resources_counted_in"_s,
                               u"DROP TRIGGER resources_counted_out"_s,
                               u"DROP TRIGGER resources_counted_again"_s,
                               u"DROP TRIGGER resource_words_added"_s,
                               u"DROP TRIGGER resource_words_removed"_s,
                               u"DROP TRIGGER resource_words_changed"_s,
                               u"DROP TABLE resource_words"_s,
                               u"DROP TRIGGER resource_runs_added"_s,
                               u"DROP TRIGGER resource_runs_removed"_s,
                               u"DROP TRIGGER resource_runs_changed"_s,
                               u"DROP TABLE resource_runs"_s,
                               u"DROP TABLE shown_counts"_s,
                               u"DROP INDEX resources_shown_by_time"_s,
                               u"DROP INDEX resources_by_category"_s,
                               u"DROP TABLE messages"_s,
                               u"DROP TABLE removed_uploads"_s,
                               u"DROP TABLE blocks"_s,
                               u"DROP TABLE post_times"_s,
                               u"DROP TABLE file_digests"_s,
                               u"DROP TABLE upload_bytes"_s,
                               u"DROP TABLE file_scans"_s,
                               u"DROP TABLE held_uploads"_s,
                               u"DROP TABLE moderation_log"_s,
                               u"DROP INDEX resources_by_file"_s,
                               u"ALTER TABLE resources DROP COLUMN address"_s,
                               u"ALTER TABLE resources DROP COLUMN hidden"_s,
                               u"PRAGMA user_version = 1"_s};
    QVERIFY(execInDatabase(m_site->dataPath() + u"/site.sqlite"_s, later));

    QVERIFY2(m_site->start(), qPrintable(m_site->errorString()));
    QCOMPARE(m_http.get(m_site->root() + u"wangyou/users_upload.php?page=1"_s).body, catalogue);
    QCOMPARE(post(u"新"_s, u"板"_s).status, 303);
    QCOMPARE(messagesOn(board()).size(), 1);
}

QTEST_GUILESS_MAIN(TstMessageBoard)
#include "tst_messageboard.moc"
