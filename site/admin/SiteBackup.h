#pragma once

#include "common/Result.h"
#include "site/store/StoreError.h"

#include <QString>

namespace Site {

class SiteStore;

// A copy of a site that a new data folder can be made from: a consistent copy of the database,
// taken while the site runs, the files its records name, and a list of those files with their
// sizes so a restore can tell a whole copy from a broken one.
class SiteBackup
{
public:
    static const QString FileListName;

    // Writes into folder, which must be new or empty. Returns how many files were copied.
    static Result<qint64, StoreError> backup(const SiteStore &store, const QString &dataPath, const QString &folder);
    // Fills dataPath, which must be new or empty, from a backup folder. Returns how many files were copied.
    static Result<qint64, StoreError> restore(const QString &folder, const QString &dataPath);

    // True when a folder does not exist or holds nothing.
    static bool isEmptyFolder(const QString &path);

private:
    static Result<qint64, StoreError> write(const SiteStore &store, const QString &dataPath, const QString &folder);
};

}  // namespace Site
