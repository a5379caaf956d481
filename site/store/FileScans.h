#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace Site {

class StoreConnection;

// What the last scan of some bytes found, by their SHA-256: bytes found once are refused at once
// when they come again, without another scan; bytes found clean and still stored need no scan
// when uploaded again, as the operator's scan of stored files keeps their verdict current.
class FileScans
{
public:
    struct Verdict
    {
        QString signature;  // empty: nothing found
        QString scannedAt;  // UTC, "2024-03-15T21:07:42Z"
        bool found() const { return !signature.isEmpty(); }
    };

    explicit FileScans(StoreConnection &connection)
        : m_connection(connection)
    {
    }

    // Nothing when the bytes were never scanned.
    Result<std::optional<Verdict>, StoreError> find(const QByteArray &sha256) const;
    // Replaces what an earlier scan of the bytes found.
    Result<void, StoreError> keep(const QByteArray &sha256, const Verdict &verdict);

private:
    StoreConnection &m_connection;
};

}  // namespace Site
