#pragma once

#include "common/Result.h"
#include "site/forms/UploadError.h"
#include "site/http/SpoolFile.h"
#include "site/store/FileScans.h"
#include "site/store/HeldUpload.h"
#include "site/store/SiteResource.h"

#include <QHostAddress>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QDateTime;

namespace Site {

class ReceivedForm;
class SiteStore;
class UploadShare;

// A resource shared through the upload page: checked, its file stored below the upload folder
// under a name the site chooses, and its record added to the user catalogue; or, until a scan
// can pass it, held unpublished.
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

    // Who sent an upload, and the share of the disk it counts against.
    struct Sender
    {
        QString address;                     // kept with the entry
        QHostAddress client;                 // whose share it is (see ClientKey)
        const UploadShare *share = nullptr;  // none: nothing is counted or kept free
    };

    // An upload found good, its file taken out of the form, which may go before it is stored.
    struct Checked
    {
        SiteResource entry;  // as entered, with the sender's address
        QString fileName;    // to be stored under
        std::unique_ptr<SpoolFile> data;
        std::optional<FileScans::Verdict> verdict;  // what a scan found of it, kept with it
    };

    // The category must be one of categories, the user catalogue's.
    static Result<Checked, Rejection> check(ReceivedForm &form, const QStringList &categories, const Sender &sender);
    // Returns the resource as stored, with its id, time, file path and the sender's address.
    static Result<SiteResource, Error> store(SiteStore &store, Checked &upload, const QDateTime &now,
                                             const Sender &sender);
    // Keeps the file unpublished in the held folder, counted against the sender's day as if
    // stored; returns the held upload's id.
    static Result<qint64, Error> hold(SiteStore &store, Checked &upload, const QDateTime &now, const Sender &sender);
    // A held upload that passed its scan takes its name and entry now, as if it came now.
    static Result<SiteResource, Error> publish(SiteStore &store, const HeldUpload &held, const QDateTime &now);

    // What the visitor entered in the form's text fields, tidied for the catalogue.
    static SiteResource entered(const ReceivedForm &form);

private:
    // Gives the file its name in the upload folder's month of now, through takeName(target),
    // which fails with errno EEXIST when the name is taken; returns the path below the folder.
    static Result<QString, Error> place(SiteStore &store, const QString &fileName, const QDateTime &now,
                                        const std::function<bool(const QString &target)> &takeName);
};

}  // namespace Site
