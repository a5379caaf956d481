#include "site/store/SiteStore.h"
#include "support/ReferenceSite.h"
#include "support/SiteDatabase.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace Site;

namespace {

QByteArray digestOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Adds a user resource as an older site, or a tampered database, may hold it.
qint64 addUpload(const QString &dataPath, const QString &title, const QString &filePath)
{
    SiteStore store(dataPath);
    if (!store.open())
        return -1;
    SiteResource resource;
    resource.catalogue = Catalogue::User;
    resource.category = u"软件"_s;
    resource.title = title;
    resource.collectedAt = u"2024-01-01 00:00"_s;
    resource.filePath = filePath;
    return store.addResource(resource).value();
}

}  // namespace

// The operator's commands refuse wrong use with a reason and leave the site as it was.
class TstAdminCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wrongUseChangesNothing_data();
    void wrongUseChangesNothing();
    void tamperedBackupsAreRefused_data();
    void tamperedBackupsAreRefused();
    void pathsLeavingTheUploadFolderAreRefused();
    void oldTitlesAreEscapedForTheTerminal_data();
    void oldTitlesAreEscapedForTheTerminal();

private:
    QTemporaryDir m_site;
    QTemporaryDir m_empty;
    QTemporaryDir m_backup;
};

void TstAdminCommand::initTestCase()
{
    SiteStore store(m_site.path());
    QVERIFY(store.open());
    QVERIFY(m_site.isValid() && m_empty.isValid() && m_backup.isValid());
    QVERIFY(QFile(m_backup.filePath(u"something"_s)).open(QIODevice::WriteOnly));
}

void TstAdminCommand::wrongUseChangesNothing_data()
{
    QTest::addColumn<QStringList>("arguments");  // "{site}", "{empty}" and "{backup}" stand for those folders
    QTest::addColumn<QString>("reason");

    const auto row = [](const char *name, const QStringList &arguments, const QString &reason) {
        QTest::newRow(name) << arguments << reason;
    };
    row("unknown command", {u"lst"_s, u"messages"_s}, u"unknown command: lst"_s);
    row("options before the command", {u"--data"_s, u"{site}"_s, u"hide"_s, u"resource"_s, u"999999"_s},
        u"no resource 999999"_s);
    row("list of neither kind", {u"list"_s, u"users"_s}, u"resources or messages"_s);
    row("recent not a number", {u"list"_s, u"resources"_s, u"--recent"_s, u"ten"_s}, u"not a number"_s);
    row("list by a bad address", {u"list"_s, u"messages"_s, u"--address"_s, u"300.1.1.1"_s}, u"not an address"_s);
    row("hide without a kind", {u"hide"_s, u"5"_s}, u"resource or message"_s);
    row("id not a number", {u"hide"_s, u"resource"_s, u"5"_s, u"5x"_s}, u"not an id: 5x"_s);
    row("unknown id among known ones", {u"hide"_s, u"resource"_s, u"5"_s, u"999999"_s}, u"no resource 999999"_s);
    row("unhide an unknown message", {u"unhide"_s, u"message"_s, u"1"_s}, u"no message 1"_s);
    row("option of another command", {u"hide"_s, u"resource"_s, u"5"_s, u"--yes"_s}, u"--yes"_s);
    row("remove unconfirmed", {u"remove"_s, u"resource"_s, u"5"_s}, u"not confirmed"_s);
    row("remove an unknown id", {u"remove"_s, u"resource"_s, u"999999"_s, u"--yes"_s}, u"no resource 999999"_s);
    row("remove a message", {u"remove"_s, u"message"_s, u"1"_s, u"--yes"_s}, u"takes resource"_s);
    row("block a short form", {u"block"_s, u"10.1"_s}, u"not an address"_s);
    row("block a name", {u"block"_s, u"example.org"_s}, u"not an address"_s);
    row("block for no unit", {u"block"_s, u"203.0.113.7"_s, u"--for"_s, u"30"_s}, u"not a duration"_s);
    row("block for nothing", {u"block"_s, u"203.0.113.7"_s, u"--for"_s, u"0d"_s}, u"not a duration"_s);
    row("block for an unknown unit", {u"block"_s, u"203.0.113.7"_s, u"--for"_s, u"2w"_s}, u"not a duration"_s);
    row("unblock what is not blocked", {u"unblock"_s, u"203.0.113.0/24"_s}, u"not blocked"_s);
    row("log with more words", {u"log"_s, u"all"_s}, u"no more"_s);
    row("scan with no scanner", {u"scan"_s, u"--scan"_s, u"clamav:/run/clamav/clamd.ctl"_s}, u"not a scanner"_s);
    row("scan while clamd is away", {u"scan"_s, u"--scan"_s, u"clamd:/nonexistent/clamd.ctl"_s}, u"cannot reach clamd"_s);
    row("no site in the folder", {u"list"_s, u"resources"_s, u"--data"_s, u"{empty}"_s}, u"no site in"_s);
    row("backup of files kept apart", {u"backup"_s, u"{empty}"_s, u"--files"_s, u"{backup}"_s}, u"without --files"_s);
    row("backup into a full folder", {u"backup"_s, u"{backup}"_s}, u"not empty"_s);
    row("restore into a full folder", {u"restore"_s, u"{empty}"_s, u"--data"_s, u"{backup}"_s}, u"not empty"_s);
    row("restore from no backup", {u"restore"_s, u"{empty}"_s, u"--data"_s, u"{empty}/new"_s}, u"no backup"_s);
}

void TstAdminCommand::wrongUseChangesNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);

    QStringList resolved = {u"quillmere-site"_s};
    for (QString argument : arguments) {
        argument.replace(u"{site}"_s, m_site.path())
            .replace(u"{empty}"_s, m_empty.path())
            .replace(u"{backup}"_s, m_backup.path());
        resolved.append(argument);
    }
    if (!arguments.contains(u"--data"_s))
        resolved += {u"--data"_s, m_site.path()};
    const QByteArray before = digestOf(m_site.filePath(u"site.sqlite"_s));
    QVERIFY(!before.isEmpty());

    const ReferenceSite::CommandRun run = ReferenceSite::runProgram(resolved.sliced(1));
    QVERIFY2(run.exitCode > 0, qPrintable(run.out + run.err));
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QCOMPARE(digestOf(m_site.filePath(u"site.sqlite"_s)), before);
    QVERIFY(QDir(m_empty.path()).isEmpty());
}

void TstAdminCommand::tamperedBackupsAreRefused_data()
{
    QTest::addColumn<QString>("tampering");
    QTest::addColumn<QString>("reason");
    const QString link = u"is a link or a special file"_s;
    QTest::newRow("an upload a link to a file outside") << u"file link"_s << link;
    QTest::newRow("the official files a link to a folder outside") << u"folder link"_s << link;
    QTest::newRow("a pipe among the uploads") << u"pipe"_s << link;
    QTest::newRow("a record naming a file outside") << u"record"_s << u"names a file outside the upload folder"_s;
}

// Restored as root into a folder the site serves, a backup is taken only as plain files.
void TstAdminCommand::tamperedBackupsAreRefused()
{
    QFETCH(QString, tampering);
    QFETCH(QString, reason);
    QTemporaryDir work;
    const QDir backup(work.filePath(u"backup"_s));
    QCOMPARE(ReferenceSite::runProgram({u"backup"_s, backup.path(), u"--data"_s, m_site.path()}).exitCode, 0);
    QFile list(backup.filePath(u"files.txt"_s));
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QString upload = QString::fromUtf8(list.readAll().split('\n').first().split('\t').value(1));
    QVERIFY(upload.startsWith(u"wangyou/up/"_s));

    if (tampering == u"file link") {
        // As large as the file it stands for, so the list's sizes agree.
        const QString outside = work.filePath(u"outside"_s);
        QVERIFY(QFile::rename(backup.filePath(upload), outside));
        QVERIFY(QFile::link(outside, backup.filePath(upload)));
    } else if (tampering == u"folder link") {
        QVERIFY(QDir().rename(backup.filePath(u"guanfang/files"_s), work.filePath(u"official"_s)));
        QVERIFY(QFile::link(work.filePath(u"official"_s), backup.filePath(u"guanfang/files"_s)));
    } else if (tampering == u"pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(backup.filePath(u"wangyou/up/pipe"_s)).constData(), 0600), 0);
    } else {
        QVERIFY(
            execInDatabase(backup.filePath(u"site.sqlite"_s),
                           {u"UPDATE resources SET file_path = '../../../../../../tmp/x' WHERE catalogue = 'user'"_s}));
    }

    const QString restored = work.filePath(u"restored"_s);
    const ReferenceSite::CommandRun run = ReferenceSite::runProgram({u"restore"_s, backup.path(), u"--data"_s, restored});
    QVERIFY2(run.exitCode > 0, qPrintable(run.out));
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QVERIFY(QDir(restored).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
}

// A record naming "../../../outside.txt" is not read, copied or deleted through.
void TstAdminCommand::pathsLeavingTheUploadFolderAreRefused()
{
    QTemporaryDir work;
    const QString data = work.filePath(u"site"_s);
    const QString outside = work.filePath(u"outside.txt"_s);
    QVERIFY(writeFile(outside, "keep me"));
    const qint64 id = addUpload(data, u"越界"_s, u"../../../outside.txt"_s);
    QVERIFY(id > 0);

    const ReferenceSite::CommandRun listed = ReferenceSite::runProgram({u"list"_s, u"resources"_s, u"--data"_s, data});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.startsWith(QString::number(id) + u'\t') && listed.out.section(u'\n', 0, 0).endsWith(u"\t-"_s),
             qPrintable(listed.out));
    QVERIFY(listed.err.contains(u"names a file outside the upload folder"_s));

    // Its copy would land beside the backup folder, not in it.
    const ReferenceSite::CommandRun backedUp = ReferenceSite::runProgram(
        {u"backup"_s, work.filePath(u"b/backup"_s), u"--data"_s, data});
    QVERIFY(backedUp.exitCode > 0);
    QVERIFY2(backedUp.err.contains(u"names a file outside the upload folder"_s), qPrintable(backedUp.err));
    QVERIFY(!QFileInfo::exists(work.filePath(u"b/outside.txt"_s)));

    const ReferenceSite::CommandRun removed = ReferenceSite::runProgram(
        {u"remove"_s, u"resource"_s, QString::number(id), u"--yes"_s, u"--data"_s, data});
    QVERIFY(removed.exitCode > 0);
    QVERIFY2(removed.err.contains(u"outside the upload folder"_s), qPrintable(removed.err));
    QFile kept(outside);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), "keep me"_ba);
}

void TstAdminCommand::oldTitlesAreEscapedForTheTerminal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("list") << QStringList{u"list"_s, u"resources"_s};
    QTest::newRow("remove, asking first") << QStringList{u"remove"_s, u"resource"_s, u"{id}"_s};
}

void TstAdminCommand::oldTitlesAreEscapedForTheTerminal()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir work;
    const QString data = work.filePath(u"site"_s);
    const qint64 id = addUpload(data, u"\x1b]0;owned\x07\x1b[2J\u202e清屏"_s, u"2024/01/old.txt"_s);
    QVERIFY(id > 0);
    arguments.replaceInStrings(u"{id}"_s, QString::number(id));
    const ReferenceSite::CommandRun run = ReferenceSite::runProgram(arguments + QStringList{u"--data"_s, data});
    QVERIFY2(run.out.contains(u"\\x1b]0;owned\\x07\\x1b[2J\\u202e清屏"_s), qPrintable(run.out));
    QVERIFY(!run.out.contains(u'\x1b') && !run.out.contains(u'\x07') && !run.out.contains(u'\u202e'));
}

QTEST_GUILESS_MAIN(TstAdminCommand)
#include "tst_admincommand.moc"
