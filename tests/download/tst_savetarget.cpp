#include "download/SaveTarget.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

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
    QTest::addColumn<std::optional<SaveTarget::Problem>>("problem");  // nothing: a target
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fileFolder");

    using P = SaveTarget::Problem;
    const std::optional<P> none;
    QTest::newRow("plain") << u"A B"_s << u"x.rar"_s << none << u"/d/A B/x.rar"_s << u"/d/A B"_s;
    QTest::newRow("spaces trimmed, sub-folders kept")
        << u"  歌单 "_s << u" 2024/05/list.txt  "_s << none << u"/d/歌单/2024/05/list.txt"_s << u"/d/歌单/2024/05"_s;
    QTest::newRow("title with slashes") << u"../x"_s << u"a.zip"_s << none << u"_x/a.zip"_s << QString();
    QTest::newRow("no address") << u"t"_s << u"   "_s << std::optional(P::NoAddress) << QString() << QString();
    QTest::newRow("address climbing out")
        << u"t"_s << u"../a.zip"_s << std::optional(P::UnsafeAddress) << QString() << QString();
    QTest::newRow("absolute address") << u"t"_s << u"/etc/passwd"_s << std::optional(P::UnsafeAddress) << QString()
                                      << QString();
}

void TstSaveTarget::buildsUrlAndFileFromTrimmedNames()
{
    QFETCH(QString, title);
    QFETCH(QString, address);
    QFETCH(std::optional<SaveTarget::Problem>, problem);
    QFETCH(QString, file);
    QFETCH(QString, fileFolder);

    const Result<SaveTarget, SaveTarget::Problem> target = SaveTarget::forEntry(u"/d/"_s, u"http://h/wangyou/up/"_s,
                                                                                title, address);

    QCOMPARE(target.ok(), !problem);
    if (problem) {
        QCOMPARE(target.error(), *problem);
        return;
    }
    QVERIFY(target->file().endsWith(file));
    QCOMPARE(target->url(), u"http://h/wangyou/up/"_s + address.trimmed());
    if (!fileFolder.isEmpty())
        QCOMPARE(target->fileFolder(), fileFolder);
}

void TstSaveTarget::madeFoldersGoAgainWhileEmpty()
{
    QTemporaryDir dir;
    const QString downloads = dir.path() + u"/Xiazai/"_s;
    QVERIFY(QDir().mkpath(downloads + u"old/kept"_s));

    SaveTarget nested = SaveTarget::forEntry(downloads, u"http://h/"_s, u"old"_s, u"2024/01/x.zip"_s).value();
    QVERIFY(nested.makeFolders());
    QVERIFY(QFileInfo(downloads + u"old/2024/01"_s).isDir());
    nested.removeMadeFolders();
    // Only what was made goes; the title's folder was there before.
    QVERIFY(!QFileInfo::exists(downloads + u"old/2024"_s));
    QVERIFY(QFileInfo(downloads + u"old/kept"_s).isDir());

    SaveTarget fresh = SaveTarget::forEntry(downloads, u"http://h/"_s, u"new"_s, u"a/x.zip"_s).value();
    QVERIFY(fresh.makeFolders());
    QVERIFY(QFile(downloads + u"new/a/x.zip.part"_s).open(QIODevice::WriteOnly));
    fresh.removeMadeFolders();
    // A folder holding something stays, and so does every folder above it.
    QVERIFY(QFileInfo(downloads + u"new/a"_s).isDir());
}

QTEST_GUILESS_MAIN(TstSaveTarget)
#include "tst_savetarget.moc"
