#include "download/Downloader.h"

#include "download/MessageBox.h"

using namespace Qt::StringLiterals;

Downloader::Downloader(std::unique_ptr<AsyncReadFacility> facility, MessageBox &messageBox,
                       QObject *parent)
    : QObject(parent)
    , m_facility(std::move(facility))
    , m_messageBox(messageBox)
{
    resetLists();
    connect(m_facility.get(), &AsyncReadFacility::AsyncReadProgress, this, &Downloader::AsyncReadProgress);
    connect(m_facility.get(), &AsyncReadFacility::AsyncReadComplete, this, &Downloader::AsyncReadComplete);
}

Downloader::~Downloader()
{
    if (m_downloadFiles.size() > 1)
        CancelAllDownload();
}

void Downloader::BeginDownload(const QString &URL, const QString &SaveFile, qint32 AsyncReadOptions)
{
    const std::optional<AsyncReadError> refused =
        m_facility->AsyncRead(URL, AsyncReadType::StagedFile, SaveFile, AsyncReadOptions);
    if (refused) {
        m_messageBox.show(MessageBox::Icon::Critical, u"错误"_s,
                          QString::number(refused->number) + u":错误在调用 BeginDownload()."_s
                              + u"\r\n\r\n"_s + u"错误描述: "_s + refused->description);
        return;
    }
    m_downloadFiles.append(SaveFile);
    m_downloadStates.append(Pending);
}

bool Downloader::CancelAllDownload()
{
    for (qsizetype i = 1; i < m_downloadFiles.size(); ++i)
        m_facility->CancelAsyncRead(m_downloadFiles.at(i));
    resetLists();
    return true;
}

void Downloader::AsyncReadProgress(const AsyncProperty &property)
{
    if (property.BytesMax != 0)
        Q_EMIT DownloadProgress(property.BytesRead, property.BytesMax, property.PropertyName);
    if (property.StatusCode == AsyncProperty::Error)
        m_facility->CancelAsyncRead(property.PropertyName);
}

void Downloader::AsyncReadComplete(const AsyncProperty &property)
{
    qint32 status = property.StatusCode;
    if (status == AsyncProperty::EndDownloadData) {
        // The body is only reported as complete once it is in place under its own name.
        if (property.Value && property.Value->commit())
            Q_EMIT DownloadComplete(property.BytesMax, property.PropertyName);
        else
            status = AsyncProperty::Error;
    }
    if (status == AsyncProperty::Error) {
        m_facility->CancelAsyncRead(property.PropertyName);
        Q_EMIT DownloadError(property.PropertyName);
    }

    // Only the first entry of a path is updated, so a path recorded twice leaves its second
    // entry pending. A code that does not fit a state leaves the state as it was.
    const qsizetype index = m_downloadFiles.indexOf(property.PropertyName, 1);
    if (index > 0 && status >= 0 && status <= 255)
        m_downloadStates[index] = quint8(status);
    CheckAllDownload();
}

void Downloader::CheckAllDownload()
{
    QStringList failed{QString()};
    for (qsizetype i = 1; i < m_downloadStates.size(); ++i) {
        if (m_downloadStates.at(i) == Failed)
            failed.append(m_downloadFiles.at(i));
        else if (m_downloadStates.at(i) != Done)
            return;
    }
    CancelAllDownload();
    Q_EMIT DownloadAllComplete(failed);
}

void Downloader::resetLists()
{
    m_downloadFiles = QStringList{QString()};
    m_downloadStates = QList<quint8>{0};
}
