#pragma once

#include "download/AsyncReadFacility.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>

class MessageBox;

// Downloads URLs into files through an asynchronous read facility and reports progress,
// failure, completion and the end of a whole batch. A batch is every download recorded since
// creation or since the last CancelAllDownload. Host handlers of its signals must not delete it
// directly (deleteLater is fine): the signals are raised from inside its own handlers.
class Downloader : public QObject
{
    Q_OBJECT

public:
    // State of a recorded download; any other value is a status code that ended nothing.
    enum State : quint8 {
        Failed = AsyncProperty::Error,
        Done = AsyncProperty::EndDownloadData,
        Pending = 255,
    };

    Downloader(std::unique_ptr<AsyncReadFacility> facility, MessageBox &messageBox,
               QObject *parent = nullptr);
    ~Downloader() override;

    // SaveFile's folder must exist; the file appears there only once it is complete.
    void BeginDownload(const QString &URL, const QString &SaveFile,
                       qint32 AsyncReadOptions = AsyncReadForceUpdate);
    bool CancelAllDownload();

    // Parallel lists; index 0 holds a placeholder, recorded downloads follow in order.
    const QStringList &DownloadFiles() const { return m_downloadFiles; }
    const QList<quint8> &DownloadStates() const { return m_downloadStates; }

Q_SIGNALS:
    void DownloadProgress(qint64 CurBytes, qint64 MaxBytes, const QString &SaveFile);
    void DownloadError(const QString &SaveFile);
    void DownloadComplete(qint64 MaxBytes, const QString &SaveFile);
    // FileNotDownload: an empty element, then the batch's failed files in recorded order.
    void DownloadAllComplete(const QStringList &FileNotDownload);

private:
    void AsyncReadProgress(const AsyncProperty &property);
    void AsyncReadComplete(const AsyncProperty &property);
    void CheckAllDownload();
    void resetLists();

    std::unique_ptr<AsyncReadFacility> m_facility;
    MessageBox &m_messageBox;
    QStringList m_downloadFiles;
    QList<quint8> m_downloadStates;
};
