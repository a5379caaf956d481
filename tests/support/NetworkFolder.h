#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A folder of a test's own, reached over the network as machines share one: OpenSSH's
// sftp-server answers on a free loopback port (socat takes the connections) and sshfs mounts
// it. Like NFS it has hard links but no unnamed files (O_TMPFILE). Unmounted, stopped and
// removed with this object.
class NetworkFolder
{
public:
    NetworkFolder() = default;
    ~NetworkFolder();
    NetworkFolder(const NetworkFolder &) = delete;
    NetworkFolder &operator=(const NetworkFolder &) = delete;

    // Serves and mounts the folder; false, with errorString(), when it cannot.
    bool start();

    QString path() const;          // as its users see it
    QString exportedPath() const;  // as it lies on the server
    QString errorString() const { return m_error; }

private:
    bool servesExport() const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QProcess m_server;
    QProcess m_mount;
    QString m_error;
};
