#include "site/admin/UploadRescan.h"

#include "common/Sha256.h"
#include "site/admin/TerminalText.h"
#include "site/forms/UserUpload.h"
#include "site/store/SiteStore.h"
#include "site/store/StoredPath.h"

#include <QDateTime>
#include <QFile>
#include <QMap>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

const QString UploadsBelowFiles = u"wangyou/up/"_s;

QString utcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString hex(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex());
}

}  // namespace

Result<UploadRescan::Summary, QString> UploadRescan::run()
{
    // Nothing is read or changed for a scan that cannot be had.
    if (const auto pinged = m_client.ping(); !pinged)
        return Failure(pinged.error().text);
    Summary summary;
    if (const auto held = scanHeld(summary); !held)
        return Failure(held.error());
    if (const auto stored = scanStored(summary); !stored)
        return Failure(stored.error());
    return summary;
}

Result<void, QString> UploadRescan::scanHeld(Summary &summary)
{
    const auto held = m_store.heldUploads();
    if (!held)
        return Failure(held.error().text);
    for (const HeldUpload &upload : *held) {
        const QString what = u"held upload %1 from %2 (%3, sha256 %4)"_s.arg(
            QString::number(upload.id), TerminalText::escaped(upload.entry.address),
            TerminalText::escaped(upload.fileName), hex(upload.sha256));
        const std::optional<QString> path = StoredPath::locate(m_store.heldFolder(), upload.heldName);
        QFile file(path.value_or(QString()));
        if (!path || !file.open(QIODevice::ReadOnly)) {
            m_log(u"the file of %1 is not there: left held"_s.arg(what));
            continue;
        }
        const auto scan = m_client.scan(file);
        if (!scan)
            return Failure(u"cannot scan %1: %2"_s.arg(what, scan.error().text));
        if (const auto kept = m_store.keepScanVerdict(upload.sha256, {scan->signature, utcNow()}); !kept)
            return Failure(kept.error().text);
        m_scanned.insert(upload.sha256);
        if (scan->found()) {
            const auto dropped = m_store.dropHeld(upload.id);
            if (!dropped)
                return Failure(dropped.error().text);
            QFile::remove(*path);
            ++summary.dropped;
            const QString action = u"drop held upload %1 (scan found %2)"_s.arg(QString::number(upload.id),
                                                                                scan->signature);
            if (const auto recorded = m_store.record(m_entry(action)); !recorded)
                return Failure(recorded.error().text);
            m_log(u"found %1 in %2: dropped"_s.arg(scan->signature, what));
            continue;
        }
        const auto published = UserUpload::publish(m_store, upload, QDateTime::currentDateTime());
        if (!published) {
            m_log(u"cannot publish %1: left held"_s.arg(what));
            continue;
        }
        ++summary.published;
        const QString action = u"publish held upload %1 as resource %2"_s.arg(QString::number(upload.id),
                                                                              QString::number(published->id));
        if (const auto recorded = m_store.record(m_entry(action)); !recorded)
            return Failure(recorded.error().text);
    }
    return {};
}

Result<void, QString> UploadRescan::scanStored(Summary &summary)
{
    const auto resources = m_store.selectResources({});
    if (!resources)
        return Failure(resources.error().text);
    // Each file once, however many entries share its bytes.
    struct Stored
    {
        QString path;
        QList<const SiteResource *> entries;
    };
    QMap<QByteArray, Stored> files;
    for (const SiteResource &resource : *resources) {
        if (resource.catalogue != Catalogue::User)
            continue;
        const std::optional<QString> path = StoredPath::locate(m_store.uploadFolder(), resource.filePath);
        if (!path)
            continue;
        const std::optional<QByteArray> sha256 = digestOf(UploadsBelowFiles + resource.filePath, *path);
        if (!sha256)
            continue;
        Stored &stored = files[*sha256];
        stored.path = *path;
        stored.entries.append(&resource);
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (m_scanned.contains(it.key()))
            continue;
        QFile file(it->path);
        if (!file.open(QIODevice::ReadOnly)) {
            m_log(u"cannot read %1: %2"_s.arg(TerminalText::escaped(it->path), file.errorString()));
            continue;
        }
        const auto scan = m_client.scan(file);
        if (!scan)
            return Failure(u"cannot scan %1: %2"_s.arg(TerminalText::escaped(it->path), scan.error().text));
        ++summary.files;
        if (const auto kept = m_store.keepScanVerdict(it.key(), {scan->signature, utcNow()}); !kept)
            return Failure(kept.error().text);
        if (!scan->found())
            continue;
        ++summary.found;
        QList<qint64> shown;
        QStringList ids;
        QStringList senders;
        for (const SiteResource *entry : it->entries) {
            ids.append(QString::number(entry->id));
            if (!senders.contains(entry->address))
                senders.append(entry->address);
            if (!entry->hidden)
                shown.append(entry->id);
        }
        if (!shown.isEmpty()) {
            QStringList hiding;
            for (const qint64 id : std::as_const(shown))
                hiding.append(QString::number(id));
            const QString action = u"hide resource %1 (scan found %2)"_s.arg(hiding.join(u' '), scan->signature);
            if (const auto done = m_store.setResourcesHidden(shown, true, m_entry(action)); !done)
                return Failure(done.error().text);
            summary.hidden += int(shown.size());
        }
        m_log(u"found %1 in %2 (sha256 %3) of resource %4, sent by %5: hidden"_s.arg(
            scan->signature, TerminalText::escaped(it->path), hex(it.key()), ids.join(u' '),
            TerminalText::escaped(senders.join(u", "_s))));
    }
    return {};
}

std::optional<QByteArray> UploadRescan::digestOf(const QString &belowFiles, const QString &path)
{
    if (const auto kept = m_store.fileDigest(belowFiles); kept && *kept)
        return *kept;
    QFile file(path);
    Sha256 digest;
    if (!file.open(QIODevice::ReadOnly) || !digest.addData(file)) {
        m_log(u"cannot read %1: %2"_s.arg(TerminalText::escaped(path), file.errorString()));
        return std::nullopt;
    }
    const QByteArray sha256 = digest.result();
    if (const auto noted = m_store.setFileDigest(belowFiles, sha256); !noted)
        m_log(u"cannot keep the digest of %1: %2"_s.arg(TerminalText::escaped(path), noted.error().text));
    return sha256;
}

}  // namespace Site
