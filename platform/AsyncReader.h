#pragma once

#include "download/AsyncReadFacility.h"

#include <chrono>
#include <map>
#include <memory>

class QNetworkAccessManager;

namespace Quillmere {

// The read facility over QNetworkAccessManager: one GET per read, its body handed on in chunks
// in bounded memory. Only a 2xx answer that arrives whole ends in EndDownloadData; anything else
// (an error status, a cut connection, a body short of its Content-Length, no byte for the
// inactivity time-out) ends in Error, no byte of an unsuccessful answer being handed on.
class AsyncReader final : public AsyncReadFacility
{
    Q_OBJECT

public:
    explicit AsyncReader(std::chrono::milliseconds inactivityTimeout = std::chrono::seconds(30),
                         QObject *parent = nullptr);
    ~AsyncReader() override;

    Result<void, AsyncReadError> AsyncRead(const QString &target, AsyncReadType readType, const QString &propertyName,
                                           qint32 options, const AsyncReadHeaders &headers = {}) override;
    void CancelAsyncRead(const QString &propertyName) override;

private:
    struct Read;

    void receive(quint64 id);
    void finish(quint64 id);
    void fail(quint64 id);
    bool pass(quint64 id);
    std::unique_ptr<Read> take(quint64 id);

    std::chrono::milliseconds m_inactivityTimeout;
    // Made at the first read: start-up does not pay for the network stack.
    std::unique_ptr<QNetworkAccessManager> m_manager;
    // After m_manager, so the reads are stopped before their manager goes.
    std::map<quint64, std::unique_ptr<Read>> m_reads;
    quint64 m_nextId = 0;
    QByteArray m_chunk;
};

}  // namespace Quillmere
