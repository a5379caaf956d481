#pragma once

#include "common/Result.h"
#include "site/forms/UserUpload.h"
#include "site/scan/ScanVerdict.h"

#include <functional>
#include <memory>
#include <optional>

class ScanPool;
class SiteStore;

// Takes a checked upload the rest of its way. Bytes a scan found before are refused at once.
// With a scanner, bytes stored already that passed are stored again at once, and others are
// scanned beside the event loop before they take their name or any catalogue shows them. A
// scanner that cannot say (down, too slow, refusing the file) refuses the upload or holds it
// unpublished, as the operator chose. Without one, other uploads are stored as they come.
class UploadIntake
{
public:
    enum class WhenUnavailable { Refuse, Hold };

    // What became of an upload taken.
    struct Taken
    {
        std::optional<SiteResource> stored;  // nothing: held
        qint64 heldId = 0;
    };
    // Called on the intake's thread, maybe before take() returns.
    using Done = std::function<void(const Result<Taken, UserUpload::Error> &)>;

    UploadIntake(SiteStore &store, ScanPool *scanner, WhenUnavailable whenUnavailable)
        : m_store(store)
        , m_scanner(scanner)
        , m_whenUnavailable(whenUnavailable)
    {
    }

    void take(UserUpload::Checked upload, const UserUpload::Sender &sender, const Done &done);

private:
    struct Pending;

    void scanned(Pending &pending, const Result<ScanVerdict, ScanError> &scan);
    void store(Pending &pending);
    void unavailable(Pending &pending, const QString &reason);

    SiteStore &m_store;
    ScanPool *m_scanner;
    WhenUnavailable m_whenUnavailable;
    // A scan's result that comes back once the intake has gone is dropped.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
