#include "site/forms/UserUpload.h"

#include "site/forms/FieldText.h"
#include "site/forms/UploadName.h"
#include "site/http/ReceivedForm.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QDebug>

using namespace Qt::StringLiterals;

Result<SiteResource, UserUpload::Rejection> UserUpload::receive(SiteStore &store, ReceivedForm &form,
                                                                const QStringList &categories, const QDateTime &now,
                                                                const QString &sender, const Gate &mayStore)
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
    if (const std::optional<Error> refused = mayStore ? mayStore() : std::nullopt)
        return reject(*refused);
    SiteResource resource = entered;
    resource.address = sender;
    auto stored = UserUpload::store(store, *file->data, *fileName, now, resource);
    if (!stored)
        return reject(stored.error());
    return std::move(stored).value();
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

Result<SiteResource, UserUpload::Error> UserUpload::store(SiteStore &store, SpoolFile &data,
                                                          const QString &fileName, const QDateTime &now,
                                                          SiteResource resource)
{
    // A folder per month keeps the upload folder browsable. It is made a level at a time and
    // each level must be a real folder: nothing is created or written through a link that
    // leads out of the upload folder.
    const QString month = now.toString(u"yyyy/MM"_s);
    if (!QDir().mkpath(store.uploadFolder()))
        return Failure(Error::StoreFailed);
    const QDir uploads(QFileInfo(store.uploadFolder()).canonicalFilePath());
    QString folder = uploads.path();
    for (const QString &level : month.split(u'/')) {
        folder += u'/' + level;
        if (!QFileInfo::exists(folder))
            QDir().mkdir(folder);
        if (QFileInfo(folder).canonicalFilePath() != folder)
            return Failure(Error::StoreFailed);
    }

    // An earlier upload of the same name keeps its file; this one gets a number. Trying the
    // name is what takes it, so another process storing the same name at once gets the next.
    // The file was received without a name, so it appears whole or not at all.
    const QFileInfo named(fileName);
    const QString suffix = named.suffix().isEmpty() ? QString() : u'.' + named.suffix();
    QString relativePath = month + u'/' + fileName;
    for (int n = 2; !data.keepAs(uploads.filePath(relativePath)); ++n) {
        if (!data.nameTaken()) {
            qWarning("quillmere-site: cannot store an upload as %s: %s", qPrintable(relativePath),
                     qPrintable(data.errorString()));
            return Failure(Error::StoreFailed);
        }
        relativePath = u"%1/%2-%3%4"_s.arg(month, named.completeBaseName(), QString::number(n), suffix);
    }

    // Its digest was taken as it came in; without it, the first download takes it again.
    if (const auto noted = store.setFileDigest(u"wangyou/up/"_s + relativePath, data.sha256()); !noted)
        qWarning().noquote() << "cannot keep the digest of the upload" << relativePath << ':' << noted.error().text;

    resource.collectedAt = now.toString(u"yyyy-MM-dd HH:mm"_s);
    resource.filePath = relativePath;
    const auto id = store.addResource(resource);
    if (!id) {
        qCritical().noquote() << "cannot store an upload:" << id.error().text;
        QFile::remove(uploads.filePath(relativePath));
        return Failure(Error::StoreFailed);
    }
    resource.id = *id;
    return resource;
}
