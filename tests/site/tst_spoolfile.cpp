#include "site/http/SpoolFile.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Site;

// Only what a process that died while receiving left behind goes, and only once nobody can
// still be writing it.
class TstSpoolFile : public QObject
{
    Q_OBJECT

private slots:
    void removesOnlyOldLeftovers_data();
    void removesOnlyOldLeftovers();
};

void TstSpoolFile::removesOnlyOldLeftovers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minutesUntouched");
    QTest::addColumn<bool>("removed");

    QTest::newRow("left long ago") << u".quillmere-upload-5f3a9c"_s << 61 << true;
    QTest::newRow("maybe still received") << u".quillmere-upload-5f3a9c"_s << 59 << false;
    QTest::newRow("an upload") << u"quillmere-upload-5f3a9c.zip"_s << 600 << false;
    QTest::newRow("another hidden file") << u".htaccess"_s << 600 << false;
}

void TstSpoolFile::removesOnlyOldLeftovers()
{
    QFETCH(QString, name);
    QFETCH(int, minutesUntouched);
    QFETCH(bool, removed);
    QTemporaryDir folder;
    const QString path = folder.filePath(name);
    QVERIFY(writeFile(path, "part of an upload"));
    const QDateTime now = QDateTime::currentDateTime();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(now.addSecs(-60 * minutesUntouched), QFileDevice::FileModificationTime));
    file.close();
    // A folder by that name is never taken for a leftover.
    QVERIFY(QDir(folder.path()).mkdir(name + u"-folder"_s));

    QCOMPARE(SpoolFile::removeLeftovers(folder.path(), now), removed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path), !removed);
    QVERIFY(QFileInfo(folder.filePath(name + u"-folder"_s)).isDir());
}

QTEST_GUILESS_MAIN(TstSpoolFile)
#include "tst_spoolfile.moc"
