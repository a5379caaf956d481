#pragma once

#include <QSaveFile>
#include <QString>

#include <memory>

// What a read reports about itself, in its progress and completion notifications.
struct AsyncProperty
{
    // Error and EndDownloadData end a read; DownloadingData reports one under way.
    enum Status : qint32 {
        Error = 0,
        DownloadingData = 5,
        EndDownloadData = 6,
    };

    QString PropertyName;
    qint32 StatusCode = Error;
    qint64 BytesRead = 0;
    // The size the server announced, 0 while it is not known; at EndDownloadData the body's size.
    qint64 BytesMax = 0;
    // With EndDownloadData: the whole body, written beside the file named by PropertyName but
    // not yet in its place; commit() moves it there. Dropped uncommitted, it is removed.
    std::shared_ptr<QSaveFile> Value;
};
