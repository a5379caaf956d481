#pragma once

#include "common/Sha256.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Site {

// A file being received, written into a folder without a name: nothing of it is seen there
// until it is kept under a name, and a file never kept (a cut upload, a refused one, a killed
// process) vanishes with its descriptor, so no leftover can pile up.
//
// Network file systems have no unnamed files. There the file is written under a hidden name
// nobody can guess, which it loses once kept or dropped; only a killed process leaves it
// behind, for removeLeftovers().
class SpoolFile
{
public:
    SpoolFile() = default;
    SpoolFile(const SpoolFile &) = delete;
    SpoolFile &operator=(const SpoolFile &) = delete;
    ~SpoolFile();

    // False, with the system's reason in errorString(), when no file can be made in folder.
    bool open(const QString &folder);
    bool write(const char *data, qsizetype size);
    // Gives the file the name path; false when that name is taken (nameTaken()) or cannot be
    // made. The name is taken at once or not at all, so two processes never get the same one.
    bool keepAs(const QString &path);
    bool nameTaken() const { return m_nameTaken; }

    // A descriptor of its own to read the file by, from its start, whatever becomes of this
    // one; -1, with errorString(), when there is none.
    int openForReading();

    qint64 size() const { return m_size; }
    // Of the bytes written, taken as they were.
    QByteArray sha256() const { return m_digest.result(); }
    QString errorString() const { return m_error; }

    // Removes the hidden files that processes which died while receiving left in folder,
    // once untouched for an hour: a younger one may be another process's upload in progress.
    // Returns how many went.
    static int removeLeftovers(const QString &folder, const QDateTime &now);

private:
    int m_fd = -1;
    QByteArray m_hiddenPath;  // the name written under, where the folder has no unnamed files
    qint64 m_size = 0;
    Sha256 m_digest;
    QString m_error;
    bool m_nameTaken = false;
};

}  // namespace Site
