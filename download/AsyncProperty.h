#pragma once

#include "common/TransferError.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace Quillmere {

// What a read reports about itself, in its progress and completion notifications.
struct AsyncProperty
{
    // Error and EndDownloadData end a read; BeginDownloadData brings the answer's head,
    // DownloadingData the bytes of its body as they arrive.
    enum Status : qint32 {
        Error = 0,
        BeginDownloadData = 4,
        DownloadingData = 5,
        EndDownloadData = 6,
    };

    QString PropertyName;
    qint32 StatusCode = Error;
    qint64 BytesRead = 0;
    // The size the server announced, 0 while it is not known; at EndDownloadData the body's size.
    qint64 BytesMax = 0;
    // The answer's HTTP status, 0 when none arrived.
    qint32 HttpStatus = 0;
    // The answer's header fields, names in lower case; with BeginDownloadData and with an Error
    // that carries an answer.
    QHash<QByteArray, QByteArray> Headers;
    // With DownloadingData: the bytes that arrived since the last notification. They belong to
    // the facility and are only valid while the notification is being delivered.
    QByteArray Data;
    // With Error: why the read failed.
    TransferError Reason;
};

}  // namespace Quillmere
