#include "platform/ProgramFolder.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstProgramFolder : public QObject
{
    Q_OBJECT

private slots:
    void pathsBuildOnTheProgramFolder();
    void downloadsGoToTheUsersFolderWhenTheProgramFolderIsNotWritable();
};

void TstProgramFolder::pathsBuildOnTheProgramFolder()
{
    QTemporaryDir dir(QDir::tempPath() + u"/with space XXXXXX"_s);
    const ProgramFolder folder(dir.path() + u"/"_s);
    QCOMPARE(folder.path(), dir.path());
    QCOMPARE(folder.skinFile(), dir.path() + u"/Skin/Skin.she"_s);
    QCOMPARE(folder.downloadFolder(), dir.path() + u"/Xiazai/"_s);
}

void TstProgramFolder::downloadsGoToTheUsersFolderWhenTheProgramFolderIsNotWritable()
{
    const ProgramFolder installed(u"/nonexistent/quillmere/bin"_s);
    QCOMPARE(installed.downloadFolder(),
             QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + u"/Xiazai/"_s);
}

QTEST_GUILESS_MAIN(TstProgramFolder)
#include "tst_programfolder.moc"
