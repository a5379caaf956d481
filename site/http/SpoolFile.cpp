#include "site/http/SpoolFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Site {

namespace {

constexpr char HiddenPrefix[] = ".quillmere-upload-";
// The library cuts a connection after a minute without a byte, so a file being received is
// written to at least that often; an hour also covers clocks of machines sharing the folder.
constexpr qint64 LeftoverAgeSeconds = 60 * 60;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

SpoolFile::~SpoolFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_hiddenPath.isEmpty())
        ::unlink(m_hiddenPath.constData());
}

bool SpoolFile::open(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    m_fd = ::open(path.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    // EISDIR comes from kernels that predate unnamed files.
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        do {
            m_hiddenPath = path + '/' + HiddenPrefix + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
            m_fd = ::open(m_hiddenPath.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        } while (m_fd < 0 && errno == EEXIST);
        if (m_fd < 0)
            m_hiddenPath.clear();
    }
    if (m_fd < 0)
        m_error = systemError();
    return m_fd >= 0;
}

bool SpoolFile::write(const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_error = systemError();
            return false;
        }
        m_digest.addData(QByteArrayView(data, written));
        data += written;
        size -= written;
        m_size += written;
    }
    return true;
}

bool SpoolFile::keepAs(const QString &path)
{
    // A link fails on a taken name rather than replacing it, on network file systems too.
    // Linking an unnamed file through /proc needs no privilege, unlike AT_EMPTY_PATH.
    const QByteArray target = QFile::encodeName(path);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    const bool linked = ::fdatasync(m_fd) == 0
        && (m_hiddenPath.isEmpty()
                ? ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0
                : ::link(m_hiddenPath.constData(), target.constData()) == 0);
    if (!linked) {
        m_nameTaken = errno == EEXIST;
        m_error = systemError();
        return false;
    }
    if (!m_hiddenPath.isEmpty()) {
        ::unlink(m_hiddenPath.constData());
        m_hiddenPath.clear();
    }
    return true;
}

int SpoolFile::openForReading()
{
    // Opened again by its descriptor's name, the file needs no name of its own.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    const int descriptor = ::open(self.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        m_error = systemError();
    return descriptor;
}

int SpoolFile::removeLeftovers(const QString &folder, const QDateTime &now)
{
    const QDateTime before = now.addSecs(-LeftoverAgeSeconds);
    int removed = 0;
    const QFileInfoList hidden = QDir(folder).entryInfoList({QString::fromLatin1(HiddenPrefix) + u'*'},
                                                            QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &file : hidden) {
        if (file.lastModified() < before && QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}

}  // namespace Site
