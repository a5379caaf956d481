#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <optional>

namespace Site {

class StoreConnection;

// The SHA-256 of each file the site serves, by its path below the files folder, with the
// version of the file (its size and time) it was taken of, so that a file replaced on disk is
// never named by the digest of the one before.
class FileDigests
{
public:
    FileDigests(StoreConnection &connection, const QDir &filesFolder)
        : m_connection(connection)
        , m_filesFolder(filesFolder)
    {
    }

    // The digest (32 bytes) kept for the file as it is on disk now; nothing when none was taken
    // of it since it last changed.
    Result<std::optional<QByteArray>, StoreError> find(const QString &filePath) const;
    // Keeps the digest of the file as it is on disk now.
    Result<void, StoreError> keep(const QString &filePath, const QByteArray &sha256);
    // A file below the folder (a path ending in "/") whose kept digest is sha256 and is of the
    // file as it is on disk now; nothing when there is none.
    Result<std::optional<QString>, StoreError> fileWith(const QByteArray &sha256, const QString &folder) const;

private:
    QString version(const QString &filePath) const;

    StoreConnection &m_connection;
    const QDir &m_filesFolder;
};

}  // namespace Site
