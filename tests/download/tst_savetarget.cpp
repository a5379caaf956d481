#include "download/SaveTarget.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstSaveTarget : public QObject
{
    Q_OBJECT

private slots:
    void buildsUrlAndFileFromTrimmedNames_data();
    void buildsUrlAndFileFromTrimmedNames();
    void madeFoldersGoAgainWhileEmpty();
};

void TstSaveTarget::buildsUrlAndFileFromTrimmedNames_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("address");
    QTest::addColumn<SaveTarget::Problem>("problem");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fileFolder");

    using P = SaveTarget::Problem;
    QTest::newRow("plain") << u"A B"_s << u"x.rar"_s << P::None << u"/d/A B/x.rar"_s << u"/d/A B"_s;
    QTest::newRow("spaces trimmed, sub-folders kept")
        << u"  歌单 "_s << u" 2024/05/list.txt  "_s << P::None << u"/d/歌单/2024/05/list.txt"_s << u"/d/歌单/2024/05"_s;
    QTest::newRow("title with slashes") << u"../x"_s << u"a.zip"_s << P::None << u"_x/a.zip"_s << QString();
    QTest::newRow("no address") << u"t"_s << u"   "_s << P::NoAddress << QString() << QString();
    QTest::newRow("address climbing out") << u"t"_s << u"../a.zip"_s << P::UnsafeAddress << QString() << QString();
    QTest::newRow("absolute address") << u"t"_s << u"/etc/passwd"_s << P::UnsafeAddress << QString() << QString();
}

void TstSaveTarget::buildsUrlAndFileFromTrimmedNames()
{
    QFETCH(QString, title);
    QFETCH(QString, address);
    QFETCH(SaveTarget::Problem, problem);
    QFETCH(QString, file);
    QFETCH(QString, fileFolder);

    const SaveTarget target(u"/d/"_s, u"http://h/wangyou/up/"_s, title, address);

    QCOMPARE(target.problem(), problem);
    if (problem != SaveTarget::Problem::None)
        return;
    QVERIFY(target.file().endsWith(file));
    QCOMPARE(target.url(), u"http://h/wangyou/up/"_s + address.trimmed());
    if (!fileFolder.isEmpty())
        QCOMPARE(target.fileFolder(), fileFolder);
}

void TstSaveTarget::madeFoldersGoAgainWhileEmpty()
{
    QTemporaryDir dir;
    const QString downloads = dir.path() + u"/Xiazai/"_s;
    QVERIFY(QDir().mkpath(downloads + u"old/kept"_s));

    SaveTarget nested(downloads, u"http://h/"_s, u"old"_s, u"2024/01/x.zip"_s);
    QVERIFY(nested.makeFolders());
    QVERIFY(QFileInfo(downloads + u"old/2024/01"_s).isDir());
    nested.removeMadeFolders();
    // Only what was made goes; the title's folder was there before.
    QVERIFY(!QFileInfo::exists(downloads + u"old/2024"_s));
    QVERIFY(QFileInfo(downloads + u"old/kept"_s).isDir());

    SaveTarget fresh(downloads, u"http://h/"_s, u"new"_s, u"a/x.zip"_s);
    QVERIFY(fresh.makeFolders());
    QVERIFY(QFile(downloads + u"new/a/x.zip.part"_s).open(QIODevice::WriteOnly));
    fresh.removeMadeFolders();
    // A folder holding something stays, and so does every folder above it.
    QVERIFY(QFileInfo(downloads + u"new/a"_s).isDir());
}

QTEST_GUILESS_MAIN(TstSaveTarget)
#include "tst_savetarget.moc"
