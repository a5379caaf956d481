#pragma once

#include "common/Result.h"
#include "site/forms/UploadError.h"
#include "site/store/SiteResource.h"

#include <QStringList>

#include <functional>
#include <optional>

class ReceivedForm;
class QDateTime;
class SiteStore;
class SpoolFile;

// A resource shared through the upload page: checked, its file stored below the upload folder
// under a name the site chooses, and its record added to the user catalogue.
class UserUpload
{
public:
    static constexpr qint64 MaxFileBytes = 50 * 1024 * 1024;
    static constexpr qsizetype MaxTitleLength = 60;
    static constexpr qsizetype MaxRemarkLength = 200;

    using Error = UploadError;

    // Why an upload was not taken, with what was submitted, tidied, for the form to show again.
    struct Rejection
    {
        Error reason;
        SiteResource entered;
    };

    // Says why a sender's good form may not be stored, or nothing when it may.
    using Gate = std::function<std::optional<Error>()>;

    // Returns the resource as stored, with its id, time, file path and the sender's address.
    // The category must be one of categories, the user catalogue's. mayStore, when given, is
    // asked once the upload is found good, just before it is stored.
    static Result<SiteResource, Rejection> receive(SiteStore &store, ReceivedForm &form,
                                                   const QStringList &categories, const QDateTime &now,
                                                   const QString &sender = {}, const Gate &mayStore = {});

    // What the visitor entered in the form's text fields, tidied for the catalogue.
    static SiteResource entered(const ReceivedForm &form);

private:
    static Result<SiteResource, Error> store(SiteStore &store, SpoolFile &data, const QString &fileName,
                                             const QDateTime &now, SiteResource resource);
};
