#include "site/forms/UserUpload.h"

#include "site/forms/FieldText.h"
#include "site/forms/UploadName.h"
#include "site/forms/UploadShare.h"
#include "site/http/ReceivedForm.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// Fails, errno set, when the name is taken (EEXIST) or the file cannot be linked.
bool linkTo(const QString &existing, const QString &target)
{
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(target).constData()) == 0;
}

const QString UploadsBelowFiles = u"wangyou/up/"_s;

// Each level made in turn must be a real folder: nothing is created or written through a link
// that leads out of the files folder.
std::optional<QString> realFolder(const QString &base, const QString &below)
{
    QString folder = base;
    for (const QString &level : below.split(u'/', Qt::SkipEmptyParts)) {
        folder += u'/' + level;
        if (!QFileInfo::exists(folder))
            QDir().mkdir(folder);
        if (QFileInfo(folder).canonicalFilePath() != folder)
            return std::nullopt;
    }
    return folder;
}

// Takes the name as a hard link to the stored copy of the same bytes while there is one, else
// with own(target); fails with errno EEXIST when the name is taken.
bool takeName(std::optional<QString> &same, const QString &target, const std::function<bool(const QString &)> &own)
{
    if (same && linkTo(*same, target))
        return true;
    if (same && errno == EEXIST)
        return false;
    // Removed meanwhile, or at the file system's count of links: the upload's own copy serves.
    same.reset();
    return own(target);
}

// The stored upload's file that holds these bytes, if any: the same bytes are stored once, a
// hard link to that file, so each entry keeps a path of its own (its own name, listing, hiding
// and removal) and the file system frees the bytes once the last name goes.
std::optional<QString> sameStored(const SiteStore &store, const QByteArray &sha256)
{
    const auto found = store.uploadWith(sha256);
    if (!found) {
        qWarning().noquote() << "cannot look for a stored copy of an upload:" << found.error().text;
        return std::nullopt;
    }
    if (!found->has_value())
        return std::nullopt;
    return StoredPath::locate(store.uploadFolder(), found->value());
}

}  // namespace

Result<UserUpload::Checked, UserUpload::Rejection> UserUpload::check(ReceivedForm &form, const QStringList &categories,
                                                                     const Sender &sender)
{
    const SiteResource entered = UserUpload::entered(form);
    const auto reject = [&entered](Error reason) { return Failure(Rejection{reason, entered}); };

    if (!categories.contains(entered.category))
        return reject(Error::NoCategory);
    if (FieldText::isBlank(entered.title))
        return reject(Error::EmptyTitle);
    if (entered.title.size() > MaxTitleLength)
        return reject(Error::TitleTooLong);
    if (entered.remark.size() > MaxRemarkLength)
        return reject(Error::RemarkTooLong);
    ReceivedForm::File *file = form.file(u"file");
    const auto fileName = UploadName::stored(file ? file->fileName : QString());
    if (!fileName)
        return reject(fileName.error());
    if (file->size() == 0)
        return reject(Error::EmptyFile);
    Checked checked{entered, *fileName, std::move(file->data), std::nullopt};
    checked.entry.address = sender.address;
    return checked;
}

SiteResource UserUpload::entered(const ReceivedForm &form)
{
    SiteResource entered;
    entered.catalogue = Catalogue::User;
    // The catalogue shows each field on one line.
    entered.category = FieldText::line(form.value(u"category"));
    entered.title = FieldText::line(form.value(u"title"));
    entered.remark = FieldText::line(form.value(u"remark"));
    // A remark may be left out; one that shows nothing is left out.
    if (FieldText::isBlank(entered.remark))
        entered.remark.clear();
    return entered;
}

Result<QString, UserUpload::Error> UserUpload::place(SiteStore &store, const QString &fileName, const QDateTime &now,
                                                     const std::function<bool(const QString &target)> &takeName)
{
    // A folder per month keeps the upload folder browsable.
    const QString month = now.toString(u"yyyy/MM"_s);
    if (!QDir().mkpath(store.uploadFolder()))
        return Failure(Error::StoreFailed);
    const QDir uploads(QFileInfo(store.uploadFolder()).canonicalFilePath());
    if (!realFolder(uploads.path(), month))
        return Failure(Error::StoreFailed);

    // An earlier upload of the same name keeps its file; this one gets a number. Trying the
    // name is what takes it, so another process storing the same name at once gets the next.
    const QFileInfo named(fileName);
    const QString suffix = named.suffix().isEmpty() ? QString() : u'.' + named.suffix();
    QString relativePath = month + u'/' + fileName;
    for (int n = 2; !takeName(uploads.filePath(relativePath)); ++n) {
        if (errno != EEXIST) {
            qWarning("quillmere-site: cannot store an upload as %s: %s", qPrintable(relativePath), std::strerror(errno));
            return Failure(Error::StoreFailed);
        }
        relativePath = u"%1/%2-%3%4"_s.arg(month, named.completeBaseName(), QString::number(n), suffix);
    }
    return relativePath;
}

Result<SiteResource, UserUpload::Error> UserUpload::store(SiteStore &store, Checked &upload, const QDateTime &now,
                                                          const Sender &sender)
{
    // Its bytes are on the disk now: kept, they must leave the reserve free.
    if (sender.share && !sender.share->reserveKept(store))
        return Failure(Error::NoSpace);
    SpoolFile &data = *upload.data;
    // The file was received without a name, so it appears whole or not at all; stored once
    // already, the received copy is dropped.
    std::optional<QString> same = sameStored(store, data.sha256());
    const auto relativePath = place(store, upload.fileName, now, [&](const QString &target) {
        return takeName(same, target, [&](const QString &name) { return data.keepAs(name); });
    });
    if (!relativePath)
        return Failure(relativePath.error());

    SiteResource resource = upload.entry;
    resource.collectedAt = now.toString(u"yyyy-MM-dd HH:mm"_s);
    resource.filePath = *relativePath;
    // Its digest was taken as it came in. Counted as received, stored once or not: the day's
    // share bounds what a sender may send.
    const auto id = store.addUpload(resource, {data.size(), data.sha256(), upload.verdict}, sender.client,
                                    now.toMSecsSinceEpoch(), sender.share ? sender.share->limits().bytesPerDay : 0);
    if (!id || !*id) {
        if (!id)
            qCritical().noquote() << "cannot store an upload:" << id.error().text;
        QFile::remove(QDir(store.uploadFolder()).filePath(*relativePath));
        return Failure(id ? Error::QuotaSpent : Error::StoreFailed);
    }
    resource.id = **id;
    return resource;
}

Result<qint64, UserUpload::Error> UserUpload::hold(SiteStore &store, Checked &upload, const QDateTime &now,
                                                   const Sender &sender)
{
    if (sender.share && !sender.share->reserveKept(store))
        return Failure(Error::NoSpace);
    SpoolFile &data = *upload.data;
    const QDir files(store.filesFolder());
    const auto folder = QDir().mkpath(files.path())
        ? realFolder(QFileInfo(files.path()).canonicalFilePath(), files.relativeFilePath(store.heldFolder()))
        : std::nullopt;
    if (!folder)
        return Failure(Error::StoreFailed);
    // A name nobody can guess; the folder is served by no route.
    QString name;
    do {
        name = QString::number(QRandomGenerator::system()->generate64(), 16);
    } while (!data.keepAs(*folder + u'/' + name) && data.nameTaken());
    if (!QFileInfo::exists(*folder + u'/' + name)) {
        qWarning("quillmere-site: cannot hold an upload in %s: %s", qPrintable(*folder), qPrintable(data.errorString()));
        return Failure(Error::StoreFailed);
    }
    HeldUpload held{
        0, upload.entry, upload.fileName, name, data.sha256(), data.size(), now.toUTC().toString(Qt::ISODate)};
    const auto id = store.holdUpload(held, sender.client, now.toMSecsSinceEpoch(),
                                     sender.share ? sender.share->limits().bytesPerDay : 0);
    if (!id || !*id) {
        if (!id)
            qCritical().noquote() << "cannot hold an upload:" << id.error().text;
        QFile::remove(*folder + u'/' + name);
        return Failure(id ? Error::QuotaSpent : Error::StoreFailed);
    }
    return **id;
}

Result<SiteResource, UserUpload::Error> UserUpload::publish(SiteStore &store, const HeldUpload &held, const QDateTime &now)
{
    const std::optional<QString> file = StoredPath::locate(store.heldFolder(), held.heldName);
    if (!file) {
        qWarning("quillmere-site: the held upload %lld has no file at %s", held.id, qPrintable(held.heldName));
        return Failure(Error::StoreFailed);
    }
    std::optional<QString> same = sameStored(store, held.sha256);
    const auto relativePath = place(store, held.fileName, now, [&](const QString &target) {
        return takeName(same, target, [&](const QString &name) { return linkTo(*file, name); });
    });
    if (!relativePath)
        return Failure(relativePath.error());
    if (const auto noted = store.setFileDigest(UploadsBelowFiles + *relativePath, held.sha256); !noted)
        qWarning().noquote() << "cannot keep the digest of the upload" << *relativePath << ':' << noted.error().text;
    SiteResource resource = held.entry;
    resource.collectedAt = now.toString(u"yyyy-MM-dd HH:mm"_s);
    resource.filePath = *relativePath;
    // Another scan that published it first leaves this one nothing to do.
    const auto id = store.publishHeld(held.id, resource);
    if (!id || !*id) {
        if (!id)
            qCritical().noquote() << "cannot publish a held upload:" << id.error().text;
        QFile::remove(QDir(store.uploadFolder()).filePath(*relativePath));
        return Failure(Error::StoreFailed);
    }
    QFile::remove(*file);
    resource.id = **id;
    return resource;
}

}  // namespace Site
