#include "site/http/SpoolFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SpoolFile::~SpoolFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SpoolFile::open(const QString &folder)
{
    m_fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (m_fd < 0)
        m_error = QString::fromLocal8Bit(std::strerror(errno));
    return m_fd >= 0;
}

bool SpoolFile::write(const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        data += written;
        size -= written;
        m_size += written;
    }
    return true;
}

bool SpoolFile::keepAs(const QString &path)
{
    // Linking through /proc needs no privilege, unlike AT_EMPTY_PATH; a taken name fails
    // rather than being replaced.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    if (::fdatasync(m_fd) != 0
        || ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_FOLLOW) != 0) {
        m_nameTaken = errno == EEXIST;
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}
