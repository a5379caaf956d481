#pragma once

#include "common/Result.h"
#include "site/forms/UserUpload.h"
#include "site/scan/ClamdClient.h"
#include "site/scan/ScanVerdict.h"
#include "site/store/StoreError.h"

#include <QHostAddress>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace Site {

class PostGate;
class ReceivedForm;
class ScanPool;
class SiteStore;
class StorePool;
class UploadShare;

// Takes an upload's form the rest of its way, its store work on the store's workers and its
// scan beside them, so that the thread serving HTTP waits for neither. The form is checked
// and counted against its sender's allowance in one transaction; bytes a scan found before
// are refused at once. With a scanner, bytes stored already that passed are stored again at
// once, and others are scanned before they take their name or any catalogue shows them; a
// scanner that cannot say (down, too slow, refusing the file) refuses the upload or holds it
// unpublished, as the operator chose. Without one, the upload is stored in the transaction
// that counted it.
class UploadIntake
{
public:
    enum class WhenUnavailable { Refuse, Hold };

    // What became of an upload taken.
    struct Taken
    {
        std::optional<SiteResource> stored;  // nothing: held
    };
    // Why an upload was not taken, with what was entered.
    struct Refusal
    {
        UserUpload::Rejection rejection;
        // Until the sender may try again, when too frequent, past its day's share or unscanned.
        qint64 waitSeconds = 0;
    };
    using Outcome = Result<Taken, Refusal>;
    // The user catalogue's, as the form was checked against them; when they could not be read,
    // the upload was refused as StoreFailed.
    using Categories = Result<QStringList, StoreError>;
    // Called on the thread that owns the intake, the pool's.
    using Done = std::function<void(const Outcome &, const Categories &)>;

    // Scans with scanner when there is one.
    UploadIntake(StorePool &pool, const PostGate &gate, const UploadShare &share,
                 const std::optional<ClamdClient> &scanner, WhenUnavailable whenUnavailable);
    ~UploadIntake();

    // On a worker, from an upload's head: whether its sender may not send a body of so many
    // bytes now (blocked, too frequent, its day's share spent, or the disk down to its reserve).
    std::optional<Refusal> refusalAtHead(const SiteStore &store, const QHostAddress &peer, qint64 bodyBytes) const;
    // Takes a form received whole. The categories are read from the store when none are kept.
    void take(std::shared_ptr<ReceivedForm> form, const std::optional<QStringList> &categories,
              const QHostAddress &peer, Done done);

private:
    struct Pending;
    using Step = std::function<Outcome(SiteStore &store)>;

    // Each runs on a worker and returns what became of the upload; nothing from arrive when a
    // scan is to say, of the file open on pending's descriptor.
    std::optional<Outcome> arrive(SiteStore &store, Pending &pending) const;
    Outcome scanned(SiteStore &store, Pending &pending, const ScanVerdict &scan) const;
    Outcome hold(SiteStore &store, Pending &pending, const QString &reason) const;
    Outcome stored(SiteStore &store, Pending &pending) const;

    void scan(const std::shared_ptr<Pending> &pending);
    // Runs step on a writing worker and hands its outcome to pending's done.
    void write(const std::shared_ptr<Pending> &pending, Step step);
    static void finish(Pending &pending, const Outcome &outcome);
    // Until the sender's day has room again, when it is what refused the upload.
    qint64 waitForRoom(const SiteStore &store, const Pending &pending, UserUpload::Error reason) const;
    Outcome refused(const Pending &pending, UserUpload::Error reason, qint64 waitSeconds = 0) const;

    StorePool &m_pool;
    const PostGate &m_gate;
    const UploadShare &m_share;
    WhenUnavailable m_whenUnavailable;
    // Last: the results of its scans come back to the members above until it is gone.
    std::unique_ptr<ScanPool> m_scanner;  // null: uploads are not scanned
};

}  // namespace Site
