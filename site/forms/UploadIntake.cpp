#include "site/forms/UploadIntake.h"

#include "site/forms/PostGate.h"
#include "site/forms/UploadShare.h"
#include "site/http/ClientKey.h"
#include "site/http/ReceivedForm.h"
#include "site/scan/ScanPool.h"
#include "site/store/NetworkAddress.h"
#include "site/store/SiteStore.h"
#include "site/store/StorePool.h"
#include "site/store/Transaction.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

// What a visitor whose upload could not be scanned is asked to wait.
constexpr qint64 ScanRetrySeconds = 60;

UserUpload::Error uploadError(PostGate::Verdict verdict)
{
    return verdict == PostGate::Verdict::Blocked    ? UserUpload::Error::Blocked
        : verdict == PostGate::Verdict::TooFrequent ? UserUpload::Error::TooFrequent
                                                    : UserUpload::Error::StoreFailed;
}

}  // namespace

// One upload on its way. A worker and the loop's thread take turns with it: each step hands
// it on as a queued call.
struct UploadIntake::Pending
{
    std::shared_ptr<ReceivedForm> form;  // until checked
    QHostAddress peer;
    UserUpload::Sender sender;
    Done done;
    std::optional<Categories> categories;  // read on the first step when none are kept
    SiteResource entered;
    UserUpload::Checked upload;
    QByteArray sha256;
    int descriptor = -1;  // to scan the file by

    // "eicar.com (sha256 275a021b…)", for the operator's log.
    QString file() const { return u"%1 (sha256 %2)"_s.arg(upload.fileName, QString::fromLatin1(sha256.toHex())); }
};

UploadIntake::UploadIntake(StorePool &pool, const PostGate &gate, const UploadShare &share,
                           const std::optional<ClamdClient> &scanner, WhenUnavailable whenUnavailable)
    : m_pool(pool)
    , m_gate(gate)
    , m_share(share)
    , m_whenUnavailable(whenUnavailable)
    , m_scanner(scanner ? std::make_unique<ScanPool>(*scanner) : nullptr)
{
}

UploadIntake::~UploadIntake() = default;

std::optional<UploadIntake::Refusal> UploadIntake::refusalAtHead(const SiteStore &store, const QHostAddress &peer,
                                                                 qint64 bodyBytes) const
{
    const PostGate::Decision decision = m_gate.look(store, PostAllowance::Kind::Upload, peer);
    if (decision.verdict != PostGate::Verdict::Open)
        return Refusal{{uploadError(decision.verdict), {}}, decision.waitSeconds};
    const QHostAddress client = ClientKey::of(peer);
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const std::optional<UploadError> refusal = m_share.refusalAtHead(store, client, bodyBytes, nowMs);
    if (!refusal)
        return std::nullopt;
    const qint64 wait = *refusal == UploadError::QuotaSpent ? m_share.secondsUntilRoom(store, client, nowMs) : 0;
    return Refusal{{*refusal, {}}, wait};
}

void UploadIntake::take(std::shared_ptr<ReceivedForm> form, const std::optional<QStringList> &categories,
                        const QHostAddress &peer, Done done)
{
    auto pending = std::make_shared<Pending>();
    pending->form = std::move(form);
    pending->peer = peer;
    pending->sender = {NetworkAddress::plain(peer).toString(), ClientKey::of(peer), &m_share};
    pending->done = std::move(done);
    if (categories)
        pending->categories = Categories(*categories);
    m_pool.run(StorePool::Work::Write, [this, pending](SiteStore &store) -> StorePool::Done {
        if (std::optional<Outcome> outcome = arrive(store, *pending))
            return [pending, outcome = std::move(*outcome)] { finish(*pending, outcome); };
        return [this, pending] { scan(pending); };
    });
}

std::optional<UploadIntake::Outcome> UploadIntake::arrive(SiteStore &store, Pending &pending) const
{
    pending.entered = UserUpload::entered(*pending.form);
    if (!pending.categories)
        pending.categories = store.categories(Catalogue::User);
    if (!*pending.categories)
        return refused(pending, UserUpload::Error::StoreFailed);
    auto checked = UserUpload::check(*pending.form, **pending.categories, pending.sender);
    pending.form.reset();
    if (!checked)
        return refused(pending, checked.error().reason);
    pending.upload = std::move(*checked);
    pending.sha256 = pending.upload.data->sha256();

    // Begun only for an upload found good: a refusal takes no lock. Counted once its sender
    // may make it, the upload stays counted whatever a scan finds in it.
    Transaction transaction(store.connection());
    if (const auto begun = transaction.begun(); !begun) {
        qCritical().noquote() << "cannot store an upload:" << begun.error().text;
        return refused(pending, UserUpload::Error::StoreFailed);
    }
    const PostGate::Decision decision = m_gate.enter(store, PostAllowance::Kind::Upload, pending.peer);
    if (decision.verdict != PostGate::Verdict::Open)
        return refused(pending, uploadError(decision.verdict), decision.waitSeconds);
    // Bytes a scan found stay refused, also while the site scans nothing.
    const auto verdict = store.scanVerdict(pending.sha256);
    if (!verdict) {
        qCritical().noquote() << "cannot read what scans found:" << verdict.error().text;
        return refused(pending, UserUpload::Error::StoreFailed);
    }
    std::optional<Outcome> outcome;
    if (*verdict && verdict->value().found()) {
        qWarning().noquote() << u"%1: refused an upload of %2, in which a scan found %3 before"_s.arg(
            pending.sender.address, pending.file(), verdict->value().signature);
        outcome = refused(pending, UserUpload::Error::Infected);
    } else if (!m_scanner) {
        outcome = stored(store, pending);
    } else if (*verdict) {
        // The operator's scans of stored files keep their verdict current: a stored copy that
        // passed needs no scan of its own.
        const auto same = store.uploadWith(pending.sha256);
        if (same && same->has_value())
            outcome = stored(store, pending);
    }
    if (const auto committed = transaction.commit(); !committed) {
        qCritical().noquote() << "cannot store an upload:" << committed.error().text;
        if (outcome && *outcome && (*outcome)->stored)
            QFile::remove(QDir(store.uploadFolder()).filePath((*outcome)->stored->filePath));
        return refused(pending, UserUpload::Error::StoreFailed);
    }
    if (outcome)
        return outcome;
    pending.descriptor = pending.upload.data->openForReading();
    if (pending.descriptor < 0) {
        qCritical().noquote() << "cannot read an upload to scan it:" << pending.upload.data->errorString();
        return refused(pending, UserUpload::Error::StoreFailed);
    }
    return std::nullopt;
}

void UploadIntake::scan(const std::shared_ptr<Pending> &pending)
{
    m_scanner->scan(pending->descriptor, [this, pending](const Result<ScanVerdict, ScanError> &scan) {
        if (scan) {
            write(pending,
                  [this, pending, verdict = *scan](SiteStore &store) { return scanned(store, *pending, verdict); });
        } else if (m_whenUnavailable == WhenUnavailable::Hold) {
            write(pending, [this, pending, reason = scan.error().text](SiteStore &store) {
                return hold(store, *pending, reason);
            });
        } else {
            qWarning().noquote() << u"%1: refused an upload of %2, as it could not be scanned: %3"_s.arg(
                pending->sender.address, pending->file(), scan.error().text);
            finish(*pending, refused(*pending, UserUpload::Error::ScanUnavailable, ScanRetrySeconds));
        }
    });
}

void UploadIntake::write(const std::shared_ptr<Pending> &pending, Step step)
{
    m_pool.run(StorePool::Work::Write, [pending, step = std::move(step)](SiteStore &store) -> StorePool::Done {
        return [pending, outcome = step(store)] { finish(*pending, outcome); };
    });
}

void UploadIntake::finish(Pending &pending, const Outcome &outcome)
{
    pending.done(outcome, *pending.categories);
}

UploadIntake::Outcome UploadIntake::scanned(SiteStore &store, Pending &pending, const ScanVerdict &scan) const
{
    const FileScans::Verdict verdict{scan.signature, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)};
    if (!scan.found()) {
        pending.upload.verdict = verdict;
        return stored(store, pending);
    }
    if (const auto kept = store.keepScanVerdict(pending.sha256, verdict); !kept)
        qCritical().noquote() << "cannot keep what a scan found:" << kept.error().text;
    qWarning().noquote() << u"%1: refused an upload of %2, in which clamd found %3"_s.arg(
        pending.sender.address, pending.file(), scan.signature);
    return refused(pending, UserUpload::Error::Infected);
}

UploadIntake::Outcome UploadIntake::stored(SiteStore &store, Pending &pending) const
{
    const auto stored = UserUpload::store(store, pending.upload, QDateTime::currentDateTime(), pending.sender);
    if (!stored)
        return refused(pending, stored.error(), waitForRoom(store, pending, stored.error()));
    return Taken{*stored};
}

UploadIntake::Outcome UploadIntake::hold(SiteStore &store, Pending &pending, const QString &reason) const
{
    const auto held = UserUpload::hold(store, pending.upload, QDateTime::currentDateTime(), pending.sender);
    if (!held)
        return refused(pending, held.error(), waitForRoom(store, pending, held.error()));
    qWarning().noquote() << u"%1: held an upload of %2 as held upload %3 until a scan passes it, as none could be "
                            "had: %4"_s.arg(pending.sender.address, pending.file(), QString::number(*held), reason);
    return Taken{std::nullopt};
}

qint64 UploadIntake::waitForRoom(const SiteStore &store, const Pending &pending, UserUpload::Error reason) const
{
    if (reason != UserUpload::Error::QuotaSpent)
        return 0;
    return m_share.secondsUntilRoom(store, pending.sender.client, QDateTime::currentMSecsSinceEpoch());
}

UploadIntake::Outcome UploadIntake::refused(const Pending &pending, UserUpload::Error reason, qint64 waitSeconds) const
{
    return Failure(Refusal{{reason, pending.entered}, waitSeconds});
}

}  // namespace Site
