#pragma once

#include "common/Result.h"
#include "site/scan/ClamdClient.h"
#include "site/store/ModerationEntry.h"

#include <QSet>
#include <QString>

#include <functional>

namespace Site {

class SiteStore;

// The operator's scan, so that new signatures reach old files: held uploads are scanned and
// published when they pass, dropped when found; then every stored upload's file is scanned
// again, once however many entries share it, and each entry of a file found is hidden. Each
// finding is a line for the operator with the signature and the sender, and each change goes
// into the moderation log. A scanner that cannot say stops it, what was done staying done.
class UploadRescan
{
public:
    struct Summary
    {
        int files = 0;  // stored files scanned
        int found = 0;
        int hidden = 0;  // entries hidden
        int published = 0;
        int dropped = 0;
    };
    using Log = std::function<void(const QString &line)>;
    // The moderation log's entry for an action, with its time and the operator.
    using Entry = std::function<ModerationEntry(const QString &action)>;

    UploadRescan(SiteStore &store, const ClamdClient &client, const Log &log, const Entry &entry)
        : m_store(store)
        , m_client(client)
        , m_log(log)
        , m_entry(entry)
    {
    }

    Result<Summary, QString> run();

private:
    Result<void, QString> scanHeld(Summary &summary);
    Result<void, QString> scanStored(Summary &summary);
    // The kept digest of a file below the files folder, or one taken now and kept.
    std::optional<QByteArray> digestOf(const QString &belowFiles, const QString &path);

    SiteStore &m_store;
    ClamdClient m_client;
    Log m_log;
    Entry m_entry;
    QSet<QByteArray> m_scanned;  // bytes scanned in this run already
};

}  // namespace Site
