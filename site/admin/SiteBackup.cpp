#include "site/admin/SiteBackup.h"

#include "site/admin/TerminalText.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// The folders of a data folder that hold files, relative to it: the users' uploads, those held
// until a scan passes them, and the official files.
QStringList fileFolders(const QString &dataPath)
{
    const SiteStore layout(dataPath);
    const QDir data(dataPath);
    return {data.relativeFilePath(layout.uploadFolder()) + u'/', data.relativeFilePath(layout.heldFolder()) + u'/',
            data.relativeFilePath(layout.officialFilesFolder()) + u'/'};
}

// A backup's list names where its files go; a tampered one must not reach out of the data folder.
bool isFilePath(const QString &path, const QStringList &folders)
{
    return StoredPath::isPlain(path)
        && std::any_of(folders.cbegin(), folders.cend(), [&](const QString &folder) { return path.startsWith(folder); });
}

Failure<StoreError> outside(const SiteResource &resource)
{
    return Failure(StoreError{u"resource %1 names a file outside the upload folder: %2"_s.arg(
        QString::number(resource.id), TerminalText::escaped(resource.filePath))});
}

// A backup is restored as root, into a folder the site serves: a link in it would put a file
// from elsewhere on the site, and a device or a pipe is no file of a site. The folder itself
// may be a link, as to the latest of several backups.
Result<void, StoreError> holdsOnlyPlainFiles(const QString &folder)
{
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        if (entry.isSymbolicLink() || (!entry.isDir() && !entry.isFile()))
            return Failure(StoreError{u"%1 is a link or a special file: a backup holds only plain files and folders"_s.arg(
                TerminalText::escaped(entry.filePath()))});
    }
    return {};
}

Result<void, StoreError> copyFile(const QString &from, const QString &to)
{
    if (!QDir().mkpath(QFileInfo(to).path()))
        return Failure(StoreError{u"cannot create the folder of %1"_s.arg(to)});
    QFile source(from);
    if (!source.copy(to))
        return Failure(StoreError{u"cannot copy %1 to %2: %3"_s.arg(from, to, source.errorString())});
    return {};
}

// Leaves a folder that was empty before a failed restore empty again.
void emptyFolder(const QString &path)
{
    QDir folder(path);
    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QFileInfo info(folder.filePath(entry));
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            folder.remove(entry);
    }
}

}  // namespace

const QString SiteBackup::FileListName = u"files.txt"_s;

bool SiteBackup::isEmptyFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    return info.isDir() && QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

Result<qint64, StoreError> SiteBackup::backup(const SiteStore &store, const QString &dataPath, const QString &folder)
{
    if (!isEmptyFolder(folder))
        return Failure(StoreError{u"%1 is not empty: a backup goes into a new or empty folder"_s.arg(folder)});
    const QDir target(folder);
    if (!target.mkpath(u"."_s))
        return Failure(StoreError{u"cannot create %1"_s.arg(folder)});
    // Half a backup would pass for a whole one.
    const auto written = write(store, dataPath, folder);
    if (!written)
        emptyFolder(folder);
    return written;
}

Result<qint64, StoreError> SiteBackup::write(const SiteStore &store, const QString &dataPath, const QString &folder)
{
    const QDir target(folder);
    if (const auto copied = store.copyDatabaseTo(target.filePath(SiteStore::DatabaseFileName)); !copied)
        return Failure(copied.error());

    // The uploads are the ones the copy's records name: one that arrives meanwhile is in
    // neither, one that was taken is in both.
    const QDir data(dataPath);
    QStringList files;
    {
        SiteStore copy(folder);
        if (const auto opened = copy.open(); !opened)
            return Failure(opened.error());
        const auto resources = copy.selectResources({});
        if (!resources)
            return Failure(resources.error());
        for (const SiteResource &resource : *resources) {
            if (resource.catalogue != Catalogue::User || resource.filePath.isEmpty())
                continue;
            if (!StoredPath::inside(store.uploadFolder(), resource.filePath))
                return outside(resource);
            files.append(data.relativeFilePath(QDir(store.uploadFolder()).filePath(resource.filePath)));
        }
        const auto held = copy.heldUploads();
        if (!held)
            return Failure(held.error());
        for (const HeldUpload &upload : *held) {
            if (StoredPath::locate(store.heldFolder(), upload.heldName))
                files.append(data.relativeFilePath(QDir(store.heldFolder()).filePath(upload.heldName)));
        }
    }
    // Links are left out, as a restore would refuse them.
    QDirIterator official(store.officialFilesFolder(), QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (official.hasNext())
        files.append(data.relativeFilePath(official.next()));

    QSaveFile list(target.filePath(FileListName));
    if (!list.open(QIODevice::WriteOnly))
        return Failure(StoreError{u"cannot write %1: %2"_s.arg(list.fileName(), list.errorString())});
    for (const QString &file : std::as_const(files)) {
        if (const auto copied = copyFile(data.filePath(file), target.filePath(file)); !copied)
            return Failure(copied.error());
        list.write(QByteArray::number(QFileInfo(target.filePath(file)).size()) + '\t' + file.toUtf8() + '\n');
    }
    if (!list.commit())
        return Failure(StoreError{u"cannot write %1: %2"_s.arg(list.fileName(), list.errorString())});
    return qint64(files.size());
}

Result<qint64, StoreError> SiteBackup::restore(const QString &folder, const QString &dataPath)
{
    if (!isEmptyFolder(dataPath))
        return Failure(StoreError{u"%1 is not empty: a backup is restored into a new or empty folder"_s.arg(dataPath)});
    const QDir source(folder);
    QFile list(source.filePath(FileListName));
    if (!QFileInfo::exists(source.filePath(SiteStore::DatabaseFileName)) || !list.open(QIODevice::ReadOnly))
        return Failure(StoreError{u"%1 holds no backup of a site"_s.arg(folder)});
    if (const auto plain = holdsOnlyPlainFiles(QFileInfo(folder).canonicalFilePath()); !plain)
        return Failure(plain.error());

    struct Entry
    {
        qint64 size;
        QString path;
    };
    QList<Entry> entries;
    const QStringList folders = fileFolders(dataPath);
    while (!list.atEnd()) {
        const QByteArray line = list.readLine().chopped(1);
        const qsizetype tab = line.indexOf('\t');
        bool ok = false;
        const Entry entry{line.first(std::max<qsizetype>(tab, 0)).toLongLong(&ok),
                          QString::fromUtf8(line.sliced(tab + 1))};
        if (tab < 0 || !ok || !isFilePath(entry.path, folders))
            return Failure(StoreError{
                u"%1 has a line that names no file of a site: %2"_s.arg(list.fileName(), QString::fromUtf8(line))});
        entries.append(entry);
    }

    const QDir data(dataPath);
    if (!data.mkpath(u"."_s))
        return Failure(StoreError{u"cannot create %1"_s.arg(dataPath)});
    const auto fail = [&](const StoreError &error) {
        emptyFolder(dataPath);
        return Failure(error);
    };
    for (const Entry &entry : std::as_const(entries)) {
        if (const auto copied = copyFile(source.filePath(entry.path), data.filePath(entry.path)); !copied)
            return fail(copied.error());
        if (QFileInfo(data.filePath(entry.path)).size() != entry.size)
            return fail(StoreError{u"%1 is not the size the backup lists"_s.arg(source.filePath(entry.path))});
    }
    if (const auto copied = copyFile(source.filePath(SiteStore::DatabaseFileName),
                                     data.filePath(SiteStore::DatabaseFileName));
        !copied)
        return fail(copied.error());
    {
        SiteStore restored(dataPath);
        if (const auto opened = restored.open(); !opened)
            return fail(opened.error());
        // Its records are read by the site and the operator's commands as paths below the upload folder.
        const auto resources = restored.selectResources({});
        if (!resources)
            return fail(resources.error());
        for (const SiteResource &resource : *resources) {
            if (resource.catalogue == Catalogue::User && !resource.filePath.isEmpty()
                && !StoredPath::isPlain(resource.filePath))
                return fail(outside(resource).error);
        }
    }
    return qint64(entries.size());
}

}  // namespace Site
