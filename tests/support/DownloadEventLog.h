#pragma once

#include "download/Downloader.h"

#include <QFileInfo>
#include <QStringList>

namespace Quillmere {

// Records what a Downloader raises, naming files by their last segment: progress, the reasons
// of failures and the waits for retries apart, every other event as one line, in the order
// raised ("verified a.rar", "complete 4 a.rar", "error b.rar", "all [,b.rar]").
class DownloadEventLog : public QObject
{
public:
    explicit DownloadEventLog(Downloader &downloader)
    {
        using namespace Qt::StringLiterals;
        connect(&downloader, &Downloader::DownloadProgress, this, [this](qint64 cur, qint64 max, const QString &file) {
            progress.append(u"%1/%2 %3"_s.arg(cur).arg(max).arg(name(file)));
        });
        connect(&downloader, &Downloader::DownloadError, this,
                [this](const QString &file) { events.append(u"error "_s + name(file)); });
        connect(&downloader, &Downloader::DownloadComplete, this, [this](qint64 max, const QString &file) {
            events.append(u"complete %1 %2"_s.arg(max).arg(name(file)));
        });
        connect(&downloader, &Downloader::DownloadNoRoom, this, [this](qint64 needed, qint64 free, const QString &file) {
            events.append(u"no room %1/%2 %3"_s.arg(needed).arg(free).arg(name(file)));
        });
        connect(&downloader, &Downloader::DownloadVerified, this,
                [this](const QString &file) { events.append(u"verified "_s + name(file)); });
        connect(&downloader, &Downloader::DownloadFailed, this,
                [this](const TransferError &reason) { reasons.append(reason); });
        connect(&downloader, &Downloader::DownloadRetrying, this, [this](qint64 delayMs, int attempt) {
            retries.append({delayMs, attempt});
        });
        connect(&downloader, &Downloader::DownloadAllComplete, this, [this](const QStringList &failed) {
            QStringList names;
            for (const QString &file : failed)
                names.append(name(file));
            events.append(u"all ["_s + names.join(u',') + u']');
        });
    }

    bool batchEnded() const { return !events.isEmpty() && events.last().startsWith(u"all ["); }

    QStringList events;
    QStringList progress;
    QList<TransferError> reasons;
    // The delay in milliseconds and the attempt's number, of each retry announced.
    QList<std::pair<qint64, int>> retries;

private:
    static QString name(const QString &file) { return QFileInfo(file).fileName(); }
};

}  // namespace Quillmere
