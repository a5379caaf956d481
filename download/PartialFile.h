#pragma once

#include "common/Result.h"
#include "common/TransferError.h"

#include <QByteArrayView>
#include <QFile>
#include <QLockFile>
#include <QString>

#include <functional>
#include <optional>

namespace Quillmere {

// The bytes of a download so far, kept beside its target as "<file>.part" so that a download
// cut short can continue where it stopped. A small side file, "<file>.part.meta", records where
// the bytes came from and which version of the remote file they belong to. A side file rather
// than an extended attribute: it works on every file system a download folder may sit on (FAT
// sticks, network shares), and goes along when the folder is copied. A lock beside them keeps a
// second running copy of the program from writing the same bytes.
class PartialFile
{
public:
    struct Record
    {
        QString url;
        // The answer's ETag, else its Last-Modified; empty when it sent neither.
        QByteArray validator;
        // The whole file's length, 0 when the answer did not state it.
        qint64 total = 0;
    };

    explicit PartialFile(const QString &target);
    ~PartialFile();

    // Failures say which file and, in the system's words, why (Kind::FileNotWritten).
    using Error = TransferError;

    // Fails only when another process (or another download here) holds the lock.
    Result<void, QLockFile::LockError> lock();
    QString path() const { return m_target + QStringLiteral(".part"); }
    qint64 size() const;
    // Nothing when no record was kept, or it cannot be read: the bytes then cannot be continued.
    std::optional<Record> record() const;

    // Drops what was kept and opens the file empty, recording where the new bytes come from.
    Result<void, Error> startOver(const Record &record);
    // Opens the kept bytes to add to them.
    Result<void, Error> openForAppend();
    Result<void, Error> write(const QByteArray &bytes);
    // Hands the first length bytes kept to take, a piece at a time.
    Result<void, Error> readKept(qint64 length, const std::function<void(QByteArrayView)> &take) const;
    // Moves the complete file under the target's name, replacing any file there in one step.
    Result<void, Error> moveIntoPlace();
    // Removes the bytes and their record, keeping the lock.
    void discard();
    // Closes the file, keeping the lock; kept bytes stay only when they can be continued from
    // (a validator and a total are recorded), so nothing useless is left behind.
    void close();

private:
    QString recordPath() const { return path() + QStringLiteral(".meta"); }
    Failure<Error> failure(const QString &what, const QFileDevice &file) const;

    QString m_target;
    QFile m_file;
    QLockFile m_lock;
    qint64 m_unflushed = 0;
};

}  // namespace Quillmere
