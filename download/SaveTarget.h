#pragma once

#include "common/Result.h"

#include <QString>
#include <QStringList>

namespace Quillmere {

// Where a catalogue entry is downloaded to: <download folder>/<title>/<address>, fetched from
// <files root><address>. Title and address come from the server, so they are trimmed and
// checked here before anything is made on disk.
class SaveTarget
{
public:
    enum class Problem {
        // The entry has no address: there is nothing to download.
        NoAddress,
        // The address would lead outside the title's folder.
        UnsafeAddress,
        // A folder on the way to the file could not be made.
        FolderNotMade,
    };

    // No target: nothing to fetch, no folder made.
    SaveTarget() = default;
    static Result<SaveTarget, Problem> forEntry(const QString &downloadFolder, const QString &filesRoot,
                                                const QString &title, const QString &address);

    QString url() const { return m_url; }
    QString file() const { return m_file; }
    // The folder named after the title, with its trailing "/".
    QString titleFolder() const { return m_titleFolder; }
    // The folder that holds the file: the title's, or one below it when the address has
    // sub-folders of its own.
    QString fileFolder() const;

    // Makes the missing folders up to the file's, remembering the ones it made.
    Result<void, Problem> makeFolders();
    // Removes the folders makeFolders made while they are empty, deepest first; a folder that
    // was there before is never touched.
    void removeMadeFolders();

private:
    QString m_url;
    QString m_file;
    QString m_titleFolder;
    QStringList m_madeFolders;
};

}  // namespace Quillmere
