#include "site/forms/UploadIntake.h"

#include "site/scan/ScanPool.h"
#include "site/store/SiteStore.h"

#include <QDateTime>
#include <QDebug>

using namespace Qt::StringLiterals;

struct UploadIntake::Pending
{
    UserUpload::Checked upload;
    UserUpload::Sender sender;
    Done done;
    QByteArray sha256;

    // "eicar.com (sha256 275a021b…)", for the operator's log.
    QString file() const { return u"%1 (sha256 %2)"_s.arg(upload.fileName, QString::fromLatin1(sha256.toHex())); }
};

void UploadIntake::take(UserUpload::Checked upload, const UserUpload::Sender &sender, const Done &done)
{
    auto pending = std::make_shared<Pending>(Pending{std::move(upload), sender, done, {}});
    pending->sha256 = pending->upload.data->sha256();
    // Bytes a scan found stay refused, also while the site scans nothing.
    const auto verdict = m_store.scanVerdict(pending->sha256);
    if (!verdict) {
        qCritical().noquote() << "cannot read what scans found:" << verdict.error().text;
        done(Failure(UserUpload::Error::StoreFailed));
        return;
    }
    if (*verdict && verdict->value().found()) {
        qWarning().noquote() << u"%1: refused an upload of %2, in which a scan found %3 before"_s.arg(
            pending->sender.address, pending->file(), verdict->value().signature);
        done(Failure(UserUpload::Error::Infected));
        return;
    }
    if (!m_scanner) {
        store(*pending);
        return;
    }
    // The operator's scans of stored files keep their verdict current: a stored copy that
    // passed needs no scan of its own.
    if (*verdict) {
        const auto stored = m_store.uploadWith(pending->sha256);
        if (stored && stored->has_value()) {
            store(*pending);
            return;
        }
    }
    const int descriptor = pending->upload.data->openForReading();
    if (descriptor < 0) {
        qCritical().noquote() << "cannot read an upload to scan it:" << pending->upload.data->errorString();
        done(Failure(UserUpload::Error::StoreFailed));
        return;
    }
    m_scanner->scan(descriptor, [this, alive = std::weak_ptr<bool>(m_alive), pending](const auto &scan) {
        if (alive.lock())
            scanned(*pending, scan);
    });
}

void UploadIntake::scanned(Pending &pending, const Result<ScanVerdict, ScanError> &scan)
{
    if (!scan) {
        unavailable(pending, scan.error().text);
        return;
    }
    const FileScans::Verdict verdict{scan->signature, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)};
    if (scan->found()) {
        if (const auto kept = m_store.keepScanVerdict(pending.sha256, verdict); !kept)
            qCritical().noquote() << "cannot keep what a scan found:" << kept.error().text;
        qWarning().noquote() << u"%1: refused an upload of %2, in which clamd found %3"_s.arg(
            pending.sender.address, pending.file(), scan->signature);
        pending.done(Failure(UserUpload::Error::Infected));
        return;
    }
    pending.upload.verdict = verdict;
    store(pending);
}

void UploadIntake::store(Pending &pending)
{
    const auto stored = UserUpload::store(m_store, pending.upload, QDateTime::currentDateTime(), pending.sender);
    if (!stored) {
        pending.done(Failure(stored.error()));
        return;
    }
    pending.done(Taken{*stored, 0});
}

void UploadIntake::unavailable(Pending &pending, const QString &reason)
{
    if (m_whenUnavailable == WhenUnavailable::Refuse) {
        qWarning().noquote() << u"%1: refused an upload of %2, as it could not be scanned: %3"_s.arg(
            pending.sender.address, pending.file(), reason);
        pending.done(Failure(UserUpload::Error::ScanUnavailable));
        return;
    }
    const auto held = UserUpload::hold(m_store, pending.upload, QDateTime::currentDateTime(), pending.sender);
    if (!held) {
        pending.done(Failure(held.error()));
        return;
    }
    qWarning().noquote() << u"%1: held an upload of %2 as held upload %3 until a scan passes it, as none could be "
                            "had: %4"_s.arg(pending.sender.address, pending.file(), QString::number(*held), reason);
    pending.done(Taken{std::nullopt, *held});
}
